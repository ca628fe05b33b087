#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "core/metadata/metadata.h"
#include "core/playlist/playlist.h"
#include "core/settings/atomic_file.h"
#include "core/settings/file_names.h"
#include "core/settings/paths.h"
#include "core/text/encoding.h"

namespace qel {
namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::string WithoutTrailingSlash(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// Relative to the folder the playlist is saved in, when the entry lies in
// it or below it; file names are compared exactly, as the file system does.
std::string PathAsWritten(const std::string& path, const std::string& nowDir) {
  std::string folder = WithoutTrailingSlash(nowDir);
  if (folder.empty()) return path;
  if (files::Folder(path) == folder) return std::string(files::Name(path));
  std::string prefix = folder == "/" ? folder : folder + "/";
  if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0) return path.substr(prefix.size());
  return path;
}

// A line end inside a title would start a line of its own, read back as a
// path: titles are kept on one line.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

void RestoreTitle(AppState& state) {
  if (state.platform.window) state.platform.window->SetTitle(state.savedTitle);
}

}  // namespace

bool WritePlaylist(AppState& state, bool autoSave, int lastIndex, const std::string& executablePath, bool noExt) {
  int count = static_cast<int>(state.entries.size());
  if (lastIndex < 0 || count == 0) return true;
  if (lastIndex >= count) lastIndex = count - 1;
  Window* window = state.platform.window;
  Desktop* desktop = state.platform.desktop;

  std::string target;
  if (autoSave) {
    target = AutoPlaylistPath(executablePath, state.instanceName);
  } else {
    if (!window) return true;
    std::string folder = WithoutTrailingSlash(state.nowDir);
    auto chosen = window->SaveFileDialog("Qel",
                                         {{"UTF-8 m3u(*.m3u8)", "*.m3u8"},
                                          {"ShiftJIS m3u(*.m3u)", "*.m3u"},
                                          {"All files(*.*)", "*.*"}},
                                         "m3u8", folder, std::string(files::Name(folder)));
    if (!chosen || chosen->empty()) return true;
    target = *chosen;
    if (files::Extension(files::Name(target)).empty()) target += ".m3u8";
    state.nowDir = std::string(files::Folder(target));
  }
  target = FollowLink(target);

  bool legacy = files::EqualNoCase(files::Extension(target), ".m3u");
  std::string out = legacy ? "" : "\xEF\xBB\xBF";
  out += "#EXTM3U\r\n";
  out.reserve(static_cast<size_t>(lastIndex + 1) * 96);
  if (desktop) desktop->SetBusyMarker(true);
  char progress[96];
  for (int i = 0; i <= lastIndex; ++i) {
    if (window) {
      std::snprintf(progress, sizeof progress, "プレイリスト保存中... (%d/%d)", i + 1, lastIndex + 1);
      window->SetTitle(progress);
    }
    const ListEntry& entry = state.entries[i];
    // A path holding a line end cannot be written as one line; read back it
    // would name other files.
    if (entry.path.find_first_of("\r\n") != std::string::npos) continue;
    std::string title = entry.title;
    if (title.empty()) {
      std::string_view name = files::Name(entry.path);
      title = std::string(noExt ? files::Stem(name) : name);
    }
    int seconds = autoSave ? 0 : ReadLength(state, entry.path);
    std::string line = "#EXTINF:" + std::to_string(seconds) + "," + OneLine(title) + "\r\n";
    line += autoSave ? entry.path : PathAsWritten(entry.path, state.nowDir);
    line += "\r\n";
    out += line;
  }
  if (legacy) out = Utf8ToLegacy(out);

  // The old playlist is replaced only by a complete new one.
  auto temporary = WriteTemporaryBeside(target, out);
  if (temporary && !autoSave && Exists(target)) {
    if (!desktop || !desktop->MoveToTrash(target)) {
      ::unlink(temporary->c_str());
      temporary.reset();
      if (desktop) desktop->SetBusyMarker(false);
      RestoreTitle(state);
      if (window)
        window->ShowMessage(std::string(files::Name(target)) + " の削除に失敗しました。", "Qel", MessageIcon::Error,
                            MessageButtons::Ok, true);
      return false;
    }
  }
  const bool written = temporary && CommitTemporary(*temporary, target);
  if (desktop) desktop->SetBusyMarker(false);
  RestoreTitle(state);
  return written;
}

}  // namespace qel
