#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "core/fs/atomic_file.h"
#include "core/fs/file_names.h"
#include "core/metadata/metadata.h"
#include "core/playlist/playlist.h"
#include "core/settings/paths.h"
#include "core/text/encoding.h"

namespace qel {
namespace {

// At most this many names in the message about a ".m3u" that cannot be
// written; the rest are counted.
constexpr size_t kNamesShown = 10;

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool IsPlaylistExtension(std::string_view ext) {
  return files::EqualNoCase(ext, ".m3u") || files::EqualNoCase(ext, ".m3u8");
}

std::string WithoutTrailingSlash(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// The extension a dialog filter stands for (".m3u" for "*.m3u"); empty for
// "*.*".
std::string FilterExtension(const FileFilter& filter) {
  std::string_view pattern = filter.pattern;
  pattern = pattern.substr(0, pattern.find(';'));
  if (pattern.size() < 3 || pattern.substr(0, 2) != "*." || pattern == "*.*") return {};
  return std::string(pattern.substr(1));
}

// The file a dialog answer names. A playlist filter decides the extension
// of a name that has no playlist extension ("x", or "Vol.2" taken from a
// folder's name), and with it the encoding; "All files" keeps the name as
// typed, giving the default extension only to a name without any.
std::string ChosenTarget(const SaveChoice& choice, const std::vector<FileFilter>& filters, std::string_view defaultExt) {
  std::string_view ext = files::Extension(files::Name(choice.path));
  if (IsPlaylistExtension(ext)) return choice.path;
  std::string wanted;
  if (choice.filter >= 0 && choice.filter < static_cast<int>(filters.size()))
    wanted = FilterExtension(filters[choice.filter]);
  if (wanted.empty()) {
    if (!ext.empty()) return choice.path;
    wanted = "." + std::string(defaultExt);
  }
  return choice.path + wanted;
}

// Relative to the folder the playlist is saved in, when the entry lies in
// it or below it; file names are compared exactly, as the file system does.
// A relative line that the reader would take for a comment ("#1 hit.mp3")
// or pass over as too short ("x") is written from "./".
std::string PathAsWritten(const std::string& path, const std::string& nowDir) {
  std::string folder = WithoutTrailingSlash(nowDir);
  if (folder.empty()) return path;
  std::string relative;
  std::string prefix = folder == "/" ? folder : folder + "/";
  if (files::Folder(path) == folder) relative = std::string(files::Name(path));
  else if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0) relative = path.substr(prefix.size());
  else return path;
  if (relative[0] == '#' || CountCodePoints(relative) < 2) return "./" + relative;
  return relative;
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

std::string LegacyLabel() {
  const std::string& name = LegacyCodePage();
  return files::EqualNoCase(name, "CP932") ? "ShiftJIS" : name;
}

// Asks whether to save the entries that the legacy code page cannot hold
// as UTF-8 instead, naming their files.
bool AskForUtf8Instead(Window& window, const std::vector<std::string>& names, const std::string& target,
                       const std::string& utf8Target) {
  std::string list;
  for (size_t i = 0; i < names.size() && i < kNamesShown; ++i) list += SanitizeUtf8(names[i]) + "\n";
  if (names.size() > kNamesShown) list += "ほか " + std::to_string(names.size() - kNamesShown) + " 件\n";
  std::string text = "次のファイルは " + LegacyLabel() + " で書けない文字を含むため、" +
                     SanitizeUtf8(files::Name(target)) + " に保存できません。\n\n" + list + "\n代わりに UTF-8 の " +
                     SanitizeUtf8(files::Name(utf8Target)) + " に保存しますか？";
  return window.ShowMessage(text, "Qel", MessageIcon::Warning, MessageButtons::YesNo, true) == MessageResult::Yes;
}

bool ConfirmOverwrite(Window& window, const std::string& target) {
  return window.ShowMessage(SanitizeUtf8(files::Name(target)) + " は既に存在します。\n上書きしますか？", "Qel",
                            MessageIcon::Warning, MessageButtons::YesNo, true) == MessageResult::Yes;
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
    const std::vector<FileFilter> filters = {
        {"UTF-8 m3u(*.m3u8)", "*.m3u8"}, {"ShiftJIS m3u(*.m3u)", "*.m3u"}, {"All files(*.*)", "*.*"}};
    auto chosen = window->SaveFileDialog("Qel", filters, "m3u8", folder, std::string(files::Name(folder)));
    if (!chosen || chosen->path.empty()) return true;
    target = ChosenTarget(*chosen, filters, "m3u8");
    // The dialog asked about the name it gave; a name it did not see is
    // asked about here.
    if (target != chosen->path && Exists(target) && !ConfirmOverwrite(*window, target)) return true;
    state.nowDir = std::string(files::Folder(target));
  }
  target = FollowLink(target);

  bool legacy = files::EqualNoCase(files::Extension(target), ".m3u");
  std::string out = "#EXTM3U\r\n";
  out.reserve(static_cast<size_t>(lastIndex + 1) * 96);
  std::vector<size_t> lineStarts;  // where each written entry's lines begin in out
  std::vector<int> written;        // and which entry they belong to
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
    lineStarts.push_back(out.size());
    written.push_back(i);
    out += "#EXTINF:" + std::to_string(seconds) + "," + OneLine(title) + "\r\n";
    out += autoSave ? entry.path : PathAsWritten(entry.path, state.nowDir);
    out += "\r\n";
  }
  RestoreTitle(state);

  if (legacy) {
    // A "?" for a character the code page lacks would lose the entry on
    // reading; such a list is not written as a ".m3u" at all.
    if (auto bytes = Utf8ToLegacyExact(out)) {
      out = std::move(*bytes);
    } else {
      std::vector<std::string> names;
      for (size_t k = 0; k < written.size(); ++k) {
        size_t end = k + 1 < lineStarts.size() ? lineStarts[k + 1] : out.size();
        if (!Utf8ToLegacyExact(std::string_view(out).substr(lineStarts[k], end - lineStarts[k])))
          names.push_back(std::string(files::Name(state.entries[written[k]].path)));
      }
      std::string utf8Target = files::Join(files::Folder(target), std::string(files::Stem(target)) + ".m3u8");
      if (desktop) desktop->SetBusyMarker(false);
      bool instead = window && AskForUtf8Instead(*window, names, target, utf8Target) &&
                     (!Exists(utf8Target) || ConfirmOverwrite(*window, utf8Target));
      if (!instead) return true;
      if (desktop) desktop->SetBusyMarker(true);
      target = FollowLink(utf8Target);
      legacy = false;
    }
  }
  if (!legacy) out.insert(0, "\xEF\xBB\xBF");

  // The old playlist is replaced only by a complete new one.
  TemporaryFile temporary = WriteTemporaryBeside(target, out);
  if (temporary && !autoSave && Exists(target)) {
    if (!state.platform.files || !state.platform.files->MoveToTrash(target)) {
      temporary.Discard();
      if (desktop) desktop->SetBusyMarker(false);
      if (window)
        window->ShowMessage(std::string(files::Name(target)) + " の削除に失敗しました。", "Qel", MessageIcon::Error,
                            MessageButtons::Ok, true);
      return false;
    }
  }
  const bool saved = temporary && temporary.Commit(target);
  if (desktop) desktop->SetBusyMarker(false);
  return saved;
}

}  // namespace qel
