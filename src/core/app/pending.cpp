#include "core/app/pending.h"

namespace qel {

// Filled by the window work, which owns the system's open dialogs.
void OpenFileDialog(AppState&) {}
// Filled by the window work, which owns the folder dialog "フォルダ選択".
void OpenFolderDialog(AppState&) {}

// Filled by the filter and jump dialog work.
void FilterDialog(AppState&) {}
// Filled by the filter and jump dialog work.
int JumpDialog(AppState&) { return -1; }
// Filled by the filter and jump dialog work (it keeps the last query).
int JumpToNextHit(AppState&) { return -1; }

// Filled by the playlist writer work (the save dialog and the writing).
void SavePlaylistDialog(AppState&) {}

// Filled by the copy, move and delete work.
void CopySelectedFiles(AppState&) {}
// Filled by the copy, move and delete work.
void MoveSelectedFiles(AppState&) {}
// Filled by the copy, move and delete work.
void DeleteSelectedFiles(AppState&) {}
// Filled by the copy, move and delete work (the dust folder).
void MoveSelectedToDust(AppState&) {}
// Filled by the rename and clipboard work.
void CopySelectedToClipboard(AppState&) {}
// Filled by the rename and clipboard work.
void CutSelectedToClipboard(AppState&) {}
// Filled by the rename and clipboard work (dialog 131).
void RenameSelectedFile(AppState&) {}
// Filled by the rename and clipboard work (the file manager's properties).
void ShowFileProperties(AppState&, int) {}

// Filled by the pane layout and fonts work.
void ChooseListFont(AppState&) {}
// Filled by the pane layout and fonts work.
void ChoosePaneFont(AppState&) {}
// Filled by the pane layout and fonts work.
void RebuildFont(AppState&, Control) {}

// Filled by the text and lyrics pane work.
void ApplyCenterText(AppState&) {}

// Filled by the frame capture work.
void CaptureToFile(AppState&) {}
// Filled by the frame capture work.
void CaptureToClipboard(AppState&) {}

}  // namespace qel
