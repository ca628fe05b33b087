#include "core/fileops/file_ops.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/fileops/places.h"
#include "core/list/list.h"
#include "core/list/order.h"
#include "core/pane/text_pane.h"
#include "core/playback/device.h"
#include "core/playback/order.h"

namespace qel {
namespace {

constexpr const char* kCopyPrompt = "コピーするフォルダを選択してください。";

bool ValidRow(const AppState& state, int row) { return row >= 0 && row < static_cast<int>(state.entries.size()); }

// Where the folder dialog opens: the remembered folder, or the folder it
// lies in when it is no folder (any more).
std::string StartFolder(const std::string& remembered) {
  return IsFolder(remembered) ? remembered : std::string(FolderPart(remembered));
}

std::optional<std::string> ChooseFolder(AppState& state, std::string& remembered, const char* prompt, int firstRow) {
  if (remembered.empty()) remembered = std::string(FolderPart(state.entries[firstRow].path));
  return state.platform.window->FolderDialog(prompt, StartFolder(remembered));
}

enum class Replace { Go, Skip, Stop };

// The replace question for a target that is there; Yes sends the old file
// to the Trash first (when it has not gone meanwhile).
Replace AskToReplace(AppState& state, const std::string& name, const std::string& target, const char* failure) {
  switch (TellUser(state, WithName(kReplaceQuestion, name), MessageIcon::Warning, MessageButtons::YesNoCancel)) {
    case MessageResult::Yes: break;
    case MessageResult::No: return Replace::Skip;
    default: return Replace::Stop;
  }
  FileSystem& files = *state.platform.files;
  if (files.Exists(target) && !files.MoveToTrash(target)) {
    TellUser(state, WithName(failure, name), MessageIcon::Error);
    return Replace::Skip;
  }
  return Replace::Go;
}

// One selected file of a copy or move into folder: Go with its target set,
// or Skip (it is gone, already there, or not to be replaced) or Stop.
Replace TargetFor(AppState& state, const std::string& path, const std::string& folder, const char* failure,
                  std::string* target) {
  const std::string name(FileNamePart(path));
  if (!state.platform.files->Exists(path)) {
    TellUser(state, WithName(kFileDeleted, name), MessageIcon::Error);
    return Replace::Skip;
  }
  if (SameFolder(std::string(FolderPart(path)), folder)) return Replace::Skip;
  *target = JoinPath(folder, name);
  if (!state.platform.files->Exists(*target)) return Replace::Go;
  return AskToReplace(state, name, *target, failure);
}

// The list ran empty under a move or the dust: the notice ends the command.
void EndWithEmptyList(AppState& state) {
  ReleaseEmptyList(state);
  TellUser(state, kListEmptied, MessageIcon::Information);
}

// The player went on with the entry that took the playing file's place, as
// the play command starts it.
void RestartCurrentEntry(AppState& state) {
  if (!ValidRow(state, state.currentIndex)) return;
  const ListEntry entry = state.entries[state.currentIndex];
  if (PlayEntry(state, entry, state.currentIndex, state.lastIndex) == 1)
    AdvancePlayback(state, true, false, state.currentIndex);
  if (ValidRow(state, state.currentIndex)) ShowPaneEntry(state, state.currentIndex);
  state.platform.window->ActivateMainWindow();
}

bool Ready(const AppState& state) { return state.platform.window && state.platform.files; }

}  // namespace

std::vector<int> SelectedEntries(AppState& state) {
  std::vector<int> rows;
  if (Window* window = state.platform.window)
    for (int row : window->SelectedRows())
      if (ValidRow(state, row)) rows.push_back(row);
  return rows;
}

std::string WithName(const char* text, const std::string& name) {
  std::string out(text);
  if (const size_t at = out.find("%s"); at != std::string::npos) out.replace(at, 2, name);
  return out;
}

MessageResult TellUser(AppState& state, const std::string& text, MessageIcon icon, MessageButtons buttons) {
  if (!state.platform.window) return MessageResult::Cancel;
  return state.platform.window->ShowMessage(text, "Qel", icon, buttons, true);
}

void CopySelectedFiles(AppState& state) {
  if (!Ready(state)) return;
  const std::vector<int> rows = SelectedEntries(state);
  if (rows.empty()) return;
  const std::optional<std::string> folder = ChooseFolder(state, state.copyStartDir, kCopyPrompt, rows.front());
  if (!folder || folder->empty()) return;
  FileSystem& files = *state.platform.files;
  for (int row : rows) {
    const std::string path = state.entries[row].path;
    std::string target;
    const Replace step = TargetFor(state, path, *folder, kCopyFailed, &target);
    if (step == Replace::Stop) return;
    if (step == Replace::Skip) continue;
    if (files.CopyNoReplace(path, target) != FileOutcome::Done)
      TellUser(state, WithName(kCopyFailed, std::string(FileNamePart(path))), MessageIcon::Error);
  }
}

void MoveSelectedFiles(AppState& state) {
  if (!Ready(state)) return;
  Window& window = *state.platform.window;
  const std::vector<int> rows = SelectedEntries(state);
  if (rows.empty()) return;
  const std::optional<std::string> folder = ChooseFolder(state, state.moveStartDir, kMovePrompt, rows.front());
  if (!folder || folder->empty()) return;
  // Asked once the dialog is closed: a file that ended while it was open has
  // its end reported after it, and starting the next one here as well would
  // skip one.
  const bool wasPlaying = DeviceMode(state) == "playing";
  FileSystem& files = *state.platform.files;
  bool currentWent = false;
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    const int row = *it;
    const std::string path = state.entries[row].path;
    const std::string name(FileNamePart(path));
    std::string target;
    const Replace step = TargetFor(state, path, *folder, kMoveFailed, &target);
    if (step == Replace::Stop) break;
    if (step == Replace::Skip) continue;
    if (row == state.currentIndex) {
      StopPlayback(state, state.lengthSeconds);
      currentWent = true;
    }
    if (files.MoveNoReplace(path, target) != FileOutcome::Done) {
      TellUser(state, WithName(kMoveFailed, name), MessageIcon::Error);
      continue;
    }
    EraseEntryAndRow(state, row);
    if (state.entries.empty()) return EndWithEmptyList(state);
  }
  window.SetAllRowsSelected(false);
  window.SetRowSelected(std::min(rows.front(), state.lastIndex), true);
  if (wasPlaying && currentWent) RestartCurrentEntry(state);
}

void DeleteSelectedFiles(AppState& state) {
  if (!Ready(state)) return;
  const std::vector<int> rows = SelectedEntries(state);
  if (rows.empty()) return;
  if (TellUser(state, kDeleteQuestion, MessageIcon::Warning, MessageButtons::OkCancel) != MessageResult::Ok) return;
  FileSystem& files = *state.platform.files;
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    const int row = *it;
    const std::string path = state.entries[row].path;
    const std::string name(FileNamePart(path));
    if (!files.Exists(path)) {
      TellUser(state, WithName(kFileDeleted, name), MessageIcon::Error);
      continue;
    }
    if (row == state.currentIndex) StopPlayback(state, state.lengthSeconds);
    if (!files.MoveToTrash(path)) {
      TellUser(state, WithName(kDeleteFailed, name), MessageIcon::Error);
      continue;
    }
    EraseEntryAndRow(state, row);
  }
  state.platform.window->SetAllRowsSelected(false);
  if (state.entries.empty()) ReleaseEmptyList(state);
}

std::string DustPlace(FileSystem& files, const std::string& dustFolder, const std::string& name) {
  const std::string own = JoinPath(dustFolder, name);
  if (!files.Exists(own)) return own;
  const size_t dot = name.rfind('.');
  const bool hasExt = dot != std::string::npos && dot > 0;
  const std::string base = hasExt ? name.substr(0, dot) : name;
  const std::string ext = hasExt ? name.substr(dot) : std::string();
  for (int n = 1; n <= 99; ++n) {
    char number[8];
    std::snprintf(number, sizeof number, "_%02d", n);
    const std::string place = JoinPath(dustFolder, base + number + ext);
    if (!files.Exists(place)) return place;
  }
  return {};
}

void MoveSelectedToDust(AppState& state) {
  if (!Ready(state)) return;
  const std::vector<int> rows = SelectedEntries(state);
  if (rows.empty()) return;
  const bool wasPlaying = DeviceMode(state) == "playing";
  FileSystem& files = *state.platform.files;
  const std::string home = HomeFolder();
  bool currentWent = false;
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    const int row = *it;
    const std::string path = state.entries[row].path;
    const std::string name(FileNamePart(path));
    const std::string dust = DustFolderOf(path, home);
    // A folder that cannot be made shows up as the move that fails. One
    // that another user made, or a link planted under its name, would hand
    // them the file: nothing moves into it.
    if (!files.Exists(dust)) files.MakeFolder(dust);
    if (files.Exists(dust) && !IsPrivateFolder(dust)) {
      TellUser(state, WithName(kDustRefused, dust), MessageIcon::Error);
      continue;
    }
    const std::string place = DustPlace(files, dust, name);
    const bool current = row == state.currentIndex;
    // With all 99 numbers taken nothing moves, and nothing needs to stop.
    if (current && !place.empty()) StopPlayback(state, state.lengthSeconds);
    if (place.empty() || files.MoveNoReplace(path, place) != FileOutcome::Done) {
      TellUser(state, WithName(kMoveFailed, name), MessageIcon::Error);
      continue;
    }
    EraseEntryAndRow(state, row);
    if (current) currentWent = true;
    if (state.entries.empty()) return EndWithEmptyList(state);
  }
  if (ValidRow(state, state.currentIndex)) state.platform.window->SetRowSelected(state.currentIndex, true);
  if (wasPlaying && currentWent) RestartCurrentEntry(state);
}

}  // namespace qel
