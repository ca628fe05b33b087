// Actions of the command table whose work belongs to features still to
// come. Each is called from exactly one place in the table and does nothing
// until its feature arrives.
#pragma once

#include "core/state.h"

namespace qel {

// Open dialogs: open-file (1700) and folder (1800), then the open sequence.
void OpenFileDialog(AppState& state);
void OpenFolderDialog(AppState& state);

// The filter dialog and the filtering of the list (4700).
void FilterDialog(AppState& state);
// The jump dialog (4800): the index of the entry found, or -1.
int JumpDialog(AppState& state);
// The next hit of the last jump query (4900), or -1.
int JumpToNextHit(AppState& state);

// The list as a playlist through the save dialog (1600).
void SavePlaylistDialog(AppState& state);

// File operations on the selected entries.
void CopySelectedFiles(AppState& state);        // 1100
void MoveSelectedFiles(AppState& state);        // 1200
void DeleteSelectedFiles(AppState& state);      // 1400
void MoveSelectedToDust(AppState& state);       // 4000
void CopySelectedToClipboard(AppState& state);  // 40023
void CutSelectedToClipboard(AppState& state);   // 40024
void RenameSelectedFile(AppState& state);       // 40025
void ShowFileProperties(AppState& state, int row);  // 1000

// Frame capture to a bitmap file (40019) and to the clipboard (40021).
void CaptureToFile(AppState& state);
void CaptureToClipboard(AppState& state);

}  // namespace qel
