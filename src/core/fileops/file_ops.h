// Copy, move, delete to the Trash and the dust folder, for the files behind
// the selected rows. Each works one file after another, tells of each
// problem in its own message box and goes on with the next file. Moving and
// deleting take the entries out of the list, stop the player when the
// playing file goes, and keep the current index on the same file.
#pragma once

#include <string>
#include <vector>

#include "core/state.h"

namespace qel {

// Messages of the file operations ("%s" is the file name).
inline constexpr const char* kFileDeleted = "%s は削除されています。";
inline constexpr const char* kCopyFailed = "%s のコピーに失敗しました。";
inline constexpr const char* kMoveFailed = "%s の移動に失敗しました。";
inline constexpr const char* kDeleteFailed = "%s の削除に失敗しました。";
inline constexpr const char* kReplaceQuestion =
    "%s\n指定されたフォルダには同じ名前のファイルが存在します。\n置き換えますか？";
inline constexpr const char* kDustRefused =
    "%s は他のユーザーのフォルダか、他のユーザーも書き込めるフォルダです。\nファイルは移動しませんでした。";
inline constexpr const char* kDeleteQuestion = "選択されたファイルを削除します。";
inline constexpr const char* kListEmptied = "フォルダにファイルが無くなりました。";
// The folder dialog's prompt of the move command; the frame capture asks
// for its folder with the same words.
inline constexpr const char* kMovePrompt = "移動するフォルダを選択してください。";

// A message text with the file name in place of "%s".
std::string WithName(const char* text, const std::string& name);
// A message box of the file operations: owned by the main window, "Qel".
MessageResult TellUser(AppState& state, const std::string& text, MessageIcon icon,
                       MessageButtons buttons = MessageButtons::Ok);

// The selected rows that show an entry, ascending.
std::vector<int> SelectedEntries(AppState& state);

// Command 1100: copies to a folder the user chooses.
void CopySelectedFiles(AppState& state);
// Command 1200: moves to a folder the user chooses; a file that was playing
// hands over to the entry that took its place.
void MoveSelectedFiles(AppState& state);
// Command 1400: moves to the Trash, after a question.
void DeleteSelectedFiles(AppState& state);
// Command 4000: moves into the dust folder of each file's own file system,
// numbering the name _01 to _99 when it is taken there.
void MoveSelectedToDust(AppState& state);

// The name a file takes in its dust folder: its own when that is free, else
// "base_NN.ext" with the first free number from 01 to 99; empty when all
// are taken.
std::string DustPlace(FileSystem& files, const std::string& dustFolder, const std::string& name);

}  // namespace qel
