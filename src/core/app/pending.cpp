#include "core/app/pending.h"

#include "core/app/window_rules.h"
#include "core/list/query.h"
#include "core/playlist/playlist.h"

namespace qel {

void OpenFileDialog(AppState& state) { RunOpenFileDialog(state); }
void OpenFolderDialog(AppState& state) { RunOpenFolderDialog(state); }

// Filled by the filter and jump dialog work.
void FilterDialog(AppState&) {}
// Filled by the filter and jump dialog work.
int JumpDialog(AppState&) { return -1; }
// Jump again needs no dialog: the query the last filter or jump stored.
int JumpToNextHit(AppState& state) {
  if (state.queryText.empty()) return -1;
  return FindJumpTarget(state, state.currentIndex, state.queryText);
}

void SavePlaylistDialog(AppState& state) {
  WritePlaylist(state, false, state.lastIndex, state.executablePath, state.settings.NoExt);
}

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

// Filled by the frame capture work.
void CaptureToFile(AppState&) {}
// Filled by the frame capture work.
void CaptureToClipboard(AppState&) {}

}  // namespace qel
