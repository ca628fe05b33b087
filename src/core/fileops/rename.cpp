#include "core/fileops/rename.h"

#include <unistd.h>

#include <climits>
#include <vector>

#include "core/fileops/file_ops.h"
#include "core/list/list.h"
#include "core/list/order.h"
#include "core/metadata/metadata.h"
#include "core/playback/device.h"
#include "core/playback/order.h"
#include "core/playback/position.h"

namespace qel {
namespace {

// Characters the name check refuses, as the player always has; ":" and "?"
// are ordinary characters on these file systems.
constexpr std::string_view kRefused = "\\/;*<>|\"";

bool TooLong(const std::string& folder, const std::string& name) {
  long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  if (limit <= 0) limit = NAME_MAX;
  return name.size() > static_cast<size_t>(limit);
}

std::vector<std::string> PathsOf(const AppState& state, const std::vector<int>& rows) {
  std::vector<std::string> paths;
  for (int row : rows) paths.push_back(state.entries[row].path);
  return paths;
}

// The current entry opened again without starting, then played on from
// `position` (milliseconds): the file that was playing before its rename.
void PlayOnFrom(AppState& state, long long position) {
  const int current = state.currentIndex;
  if (current < 0 || current >= static_cast<int>(state.entries.size())) return;
  const ListEntry entry = state.entries[current];
  state.autoPlay = false;
  const int result = PlayEntry(state, entry, current, state.lastIndex);
  state.autoPlay = true;
  if (result == 1) {
    AdvancePlayback(state, true, false, current);
    return;
  }
  if (DeviceMode(state).empty()) return;  // it could not be opened
  MediaDevice* device = state.platform.device;
  if (!device) return;
  device->Send("seek " + state.mciAlias + " to " + std::to_string(position));
  device->Send("play " + state.mciAlias + "  notify");
  if (Window* window = state.platform.window) window->StartTimer(100);
}

}  // namespace

NameCheck CheckNewName(FileSystem& files, const std::string& folder, const std::string& name) {
  if (name.find_first_of(kRefused) != std::string::npos || name.find('\0') != std::string::npos ||
      TooLong(folder, name))
    return NameCheck::Unusable;
  if (name.empty() || name == "." || name == ".." || files.Exists(JoinPath(folder, name))) return NameCheck::Taken;
  return NameCheck::Usable;
}

bool AcceptNewName(AppState& state, const std::string& folder, const std::string& name) {
  if (!state.platform.files) return false;
  switch (CheckNewName(*state.platform.files, folder, name)) {
    case NameCheck::Usable: return true;
    case NameCheck::Unusable: TellUser(state, kUnusableName, MessageIcon::Warning); return false;
    case NameCheck::Taken: TellUser(state, kNameTaken, MessageIcon::Warning); return false;
  }
  return false;
}

void RenameSelectedFiles(AppState& state) {
  Window* window = state.platform.window;
  FileSystem* files = state.platform.files;
  if (!window || !files) return;
  for (int row : SelectedEntries(state)) {
    const std::string path = state.entries[row].path;
    const std::string folder(FolderPart(path));
    const std::string name(FileNamePart(path));
    const std::optional<std::string> typed = window->FileNameDialog(
        name, BaseNameOf(name).size(), [&](const std::string& candidate) { return AcceptNewName(state, folder, candidate); });
    if (!typed) return;  // the files after it keep their names

    // Asked after the dialog: a file that ended while it was open is not
    // started again at its end (its end is reported after the dialog).
    const bool playing = row == state.currentIndex && DeviceMode(state) == "playing";
    long long position = 0;
    if (playing && state.platform.device) {
      std::string answer;
      state.platform.device->Send("status " + state.mciAlias + " position", &answer);
      position = ReadDecimal(answer);
      StopPlayback(state, state.lengthSeconds);
    }
    const std::string renamed = JoinPath(folder, *typed);
    if (files->MoveNoReplace(path, renamed) == FileOutcome::Done) {
      state.entries[row].path = renamed;
      // A row that shows a tag's title keeps it; one that shows the file's
      // name shows the new one.
      if (ReadTitle(renamed).empty()) {
        window->DeleteRow(row);
        window->InsertRow(row, state.settings.NoExt ? std::string(BaseNameOf(*typed)) : *typed);
        window->SetRowSelected(row, true);
      }
    }
    if (playing) PlayOnFrom(state, position);
  }
}

void CopySelectedToClipboard(AppState& state) {
  if (FileManager* manager = state.platform.fileManager)
    manager->PutFilesOnClipboard(PathsOf(state, SelectedEntries(state)), false);
}

void CutSelectedToClipboard(AppState& state) {
  const std::vector<int> rows = SelectedEntries(state);
  if (FileManager* manager = state.platform.fileManager) manager->PutFilesOnClipboard(PathsOf(state, rows), true);
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    if (*it == state.currentIndex) StopPlayback(state, state.lengthSeconds);
    EraseEntryAndRow(state, *it);
    if (state.entries.empty()) {
      ReleaseEmptyList(state);
      TellUser(state, kListEmptied, MessageIcon::Information);
    }
  }
}

void ShowFileProperties(AppState& state, int row) {
  FileManager* manager = state.platform.fileManager;
  if (manager && row >= 0 && row < static_cast<int>(state.entries.size()))
    manager->ShowFileProperties(state.entries[row].path);
}

}  // namespace qel
