// Renaming the files behind the selected rows, one dialog each (the playing
// file plays on from where it was under its new name), putting them on the
// clipboard for a file manager to paste, and showing a file's properties.
#pragma once

#include <string>

#include "core/state.h"

namespace qel {

inline constexpr const char* kUnusableName = "使えない文字が含まれています。";
inline constexpr const char* kNameTaken = "既に存在するファイル名です。";

enum class NameCheck { Usable, Unusable, Taken };

// The name check of the file-name dialog, for a new name in the folder:
// Unusable with "\", "/", ";", "*", "<", ">", "|", a double quote or a name
// longer than the folder's file system allows; Taken when anything there
// has the name, the empty name, "." and ".." included.
NameCheck CheckNewName(FileSystem& files, const std::string& folder, const std::string& name);

// The dialog's OK: the check, and its message over the dialog when the name
// is refused.
bool AcceptNewName(AppState& state, const std::string& folder, const std::string& name);

// Command 40025.
void RenameSelectedFiles(AppState& state);
// Commands 40023 and 40024: the files of the selected rows, in row order, on
// the clipboard; a cut takes their entries out of the list.
void CopySelectedToClipboard(AppState& state);
void CutSelectedToClipboard(AppState& state);
// Command 1000: the properties of the file of the row.
void ShowFileProperties(AppState& state, int row);

}  // namespace qel
