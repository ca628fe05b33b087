#include "core/fs/file_kind.h"
#include "core/list/list.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <numeric>
#include <set>
#include <system_error>
#include <thread>
#include <utility>

#include "core/fs/atomic_file.h"
#include "core/fs/file_names.h"
#include "core/list/order.h"
#include "core/list/query.h"
#include "core/metadata/metadata.h"
#include "core/playback/device.h"
#include "core/playback/order.h"
#include "core/playlist/playlist.h"
#include "core/settings/settings.h"

namespace qel {
namespace {

// Folders already entered by one scan, by device and inode, so that a
// symbolic link back up the tree cannot make a descent endless.
using Visited = std::set<std::pair<dev_t, ino_t>>;

struct FolderItem {
  std::string name;
  bool folder = false;
  bool file = false;  // a regular file (devices, sockets and pipes are neither)
};

void Classify(const std::string& path, unsigned char type, FolderItem& item) {
  if (type == DT_DIR) {
    item.folder = true;
  } else if (type == DT_REG) {
    item.file = true;
  } else {  // links and file systems that do not tell
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
      item.folder = S_ISDIR(st.st_mode);
      item.file = S_ISREG(st.st_mode);
    }
  }
}

// The names of a folder in the order the file system gives them, without
// "." and "..". False when the folder cannot be listed.
bool ListFolder(const std::string& folder, std::vector<FolderItem>& items) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return false;
  while (dirent* d = readdir(dir)) {
    std::string_view name = d->d_name;
    if (name == "." || name == "..") continue;
    FolderItem item;
    item.name = d->d_name;
    Classify(JoinPath(folder, item.name), d->d_type, item);
    items.push_back(std::move(item));
  }
  closedir(dir);
  return true;
}

bool FirstVisit(const std::string& path, Visited& visited) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  return visited.insert({st.st_dev, st.st_ino}).second;
}

bool IsPictureOrText(std::string_view ext) {
  return ExtensionIs(ext, ".png") || ExtensionIs(ext, ".jpg") || ExtensionIs(ext, ".jpeg") ||
         ExtensionIs(ext, ".txt");
}

bool IsPlaylistExt(std::string_view ext) { return ExtensionIs(ext, ".m3u") || ExtensionIs(ext, ".m3u8"); }

bool IsListExt(std::string_view ext) { return IsPlaylistExt(ext) || ExtensionIs(ext, ".qel"); }

// Files that never become entries of a folder listing.
bool SkippedInListing(std::string_view name) {
  std::string_view ext = ExtensionOf(name);
  return IsPictureOrText(ext) || IsListExt(ext);
}


// Only regular files and folders are opened, whatever the path came from:
// a pipe or a device would block the player or never end.

// A path with "." and ".." resolved in its text and no trailing "/".
std::string NormalizePath(const std::string& path) {
  if (path.empty()) return path;
  std::string s = std::filesystem::path(path).lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

void ScanFolderInto(AppState& state, const std::string& folder, bool descend, const std::string& ignoreName,
                    Visited& visited) {
  if (!FirstVisit(folder, visited)) return;
  std::vector<FolderItem> items;
  if (!ListFolder(folder, items)) return;
  for (const FolderItem& item : items) {
    if (item.folder) {
      if (descend && !(ignoreName.size() && item.name == ignoreName) && item.name != kDustFolderName)
        ScanFolderInto(state, JoinPath(folder, item.name), descend, ignoreName, visited);
      continue;
    }
    if (!item.file || SkippedInListing(item.name) || !IsMediaName(state, item.name)) continue;
    ListEntry entry;
    entry.path = JoinPath(folder, item.name);  // its title is read with the others' (ScanFolder)
    state.entries.push_back(std::move(entry));
  }
}

void SyncLastIndex(AppState& state) { state.lastIndex = static_cast<int32_t>(state.entries.size()) - 1; }

// Inserts an entry and its row at one index.
void InsertEntryAndRow(AppState& state, ListEntry entry, int index, const std::string& rowText) {
  index = std::clamp(index, 0, static_cast<int>(state.entries.size()));
  state.entries.insert(state.entries.begin() + index, std::move(entry));
  SyncLastIndex(state);
  if (Window* window = state.platform.window) window->InsertRow(index, rowText);
}

// Up to three lines of a saved search, UTF-8, a leading byte-order mark
// skipped. Lines are cut at 4096 bytes: no path or query is longer, and a
// stray large file must not be read whole.
bool ReadSavedSearchLines(const std::string& file, std::string lines[3]) {
  constexpr size_t kLineLimit = 4096;
  constexpr size_t kReadLimit = 64 * 1024;  // three lines and room for their line ends
  std::string bytes;
  if (ReadRegularFile(file, kReadLimit, &bytes) != ReadResult::Read) return false;
  size_t pos = 0;
  for (int n = 0; n < 3 && pos < bytes.size(); ++n) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string::npos) end = bytes.size();
    std::string& line = lines[n];
    line = bytes.substr(pos, std::min(end - pos, kLineLimit));
    if (end - pos <= kLineLimit && !line.empty() && line.back() == '\r') line.pop_back();
    pos = end + 1;
  }
  if (lines[0].compare(0, 3, "\xEF\xBB\xBF") == 0) lines[0].erase(0, 3);
  return true;
}

struct SavedSearch {
  std::string file;
  std::string fileQuery;
  std::string folderQuery;
  std::string baseLine;
};

// Step through one folder of a saved search, descending into the folders
// the folder query admits.
void SearchFolder(AppState& state, const SavedSearch& search, const std::string& folder, int at, int& added,
                  Visited& visited) {
  if (!FirstVisit(folder, visited)) return;
  std::vector<FolderItem> items;
  if (!ListFolder(folder, items)) return;
  const std::string& ignore = state.settings.IgnoreDir;
  for (const FolderItem& item : items) {
    if (IsPictureOrText(ExtensionOf(item.name))) continue;
    std::string path = JoinPath(folder, item.name);
    if (item.folder) {
      if (search.folderQuery.empty()) continue;
      if (search.folderQuery != "*" && !MatchesQuery(item.name, search.folderQuery)) continue;
      if ((!ignore.empty() && item.name == ignore) || item.name == kDustFolderName) continue;
      SearchFolder(state, search, path, at, added, visited);
      continue;
    }
    if (!item.file || IsListExt(ExtensionOf(item.name)) || !IsMediaName(state, item.name)) continue;
    if (search.fileQuery != "*" && !MatchesQuery(item.name, search.fileQuery)) continue;
    if (static_cast<size_t>(added) >= kListEntryLimit) return;
    ListEntry entry;
    entry.path = path;
    entry.title = ReadTitle(path);
    if (entry.title.empty())
      entry.title = state.settings.NoExt ? std::string(BaseNameOf(item.name)) : item.name;
    std::string text = entry.title;
    InsertEntryAndRow(state, std::move(entry), at + added, text);
    ++added;
  }
}

int LoadSavedSearchImpl(AppState& state, const std::string& file, const std::string& baseDir, int at, int& added,
                        bool inSubFolder, Visited& savedSearches) {
  // A saved search that redirects, directly or through others, back to
  // itself is read once.
  if (!FirstVisit(file, savedSearches)) return 0;
  std::string lines[3];
  if (!ReadSavedSearchLines(file, lines)) return 0;
  const std::string& first = lines[0];

  // Only an absolute path redirects: a relative one would be looked up in
  // whatever folder the player happens to run in, and a query such as
  // "live" would turn into a folder of that name.
  if (first.size() >= 2 && first[0] == '/' && IsFileOrFolder(first)) {
    const std::string target = NormalizePath(first);
    std::string_view ext = ExtensionOf(FileNamePart(target));
    if (IsFolder(target)) {
      ScanFolder(state, target, state.settings.SearchSubFolder, state.settings.IgnoreDir);
      SortEntries(state);
      return 0;
    }
    if (IsPlaylistExt(ext)) {
      int playlistAdded = 0;
      ReadPlaylist(state, target, std::string(FolderPart(target)), 0, playlistAdded, false, state.settings.NoExt);
      SyncLastIndex(state);
      return 0;
    }
    if (ExtensionIs(ext, ".qel")) {
      int nestedAdded = 0;
      LoadSavedSearchImpl(state, target, std::string(FolderPart(target)), 0, nestedAdded, false, savedSearches);
      SortEntries(state);
      return 0;
    }
    ScanFolder(state, std::string(FolderPart(target)), state.settings.SearchSubFolder, state.settings.IgnoreDir);
    SortEntries(state);
    return FindEntryByPath(state, target);
  }

  SavedSearch search{file, lines[0], lines[1], lines[2]};
  std::string folder;
  const std::string& base = search.baseLine;
  if (inSubFolder || base.empty()) folder = baseDir;
  else if (base[0] == '/') folder = NormalizePath(base);
  else folder = NormalizePath(JoinPath(FolderPart(file), base));

  Visited folders;
  SearchFolder(state, search, folder, at, added, folders);
  SortEntries(state);
  return 0;
}

// The classic 15-bit linear congruential generator, so that a seed gives
// the same shuffle everywhere.
struct Shuffler {
  uint32_t value;
  int Next() {
    value = value * 214013u + 2531011u;
    return static_cast<int>((value >> 16) & 0x7FFF);
  }
};

}  // namespace

// The path pieces are the same text operations the settings and playlists
// use; the list keeps its own names for them.
std::string_view FolderPart(std::string_view path) { return files::Folder(path); }
std::string_view FileNamePart(std::string_view path) { return files::Name(path); }
std::string_view ExtensionOf(std::string_view fileName) { return files::Extension(fileName); }

std::string_view BaseNameOf(std::string_view fileName) {
  fileName = FileNamePart(fileName);
  size_t dot = fileName.rfind('.');
  // A name that is only an extension (".mp3") keeps it, so a row never
  // shows nothing.
  return dot == std::string_view::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (out.empty() || out.back() != '/') out.push_back('/');
  out.append(name);
  return out;
}

bool ExtensionIs(std::string_view extension, std::string_view wanted) {
  return files::EqualNoCase(extension, wanted);
}

bool IsMediaName(const AppState& state, std::string_view fileName) {
  const std::string& list = state.mediaExtensions;
  if (list == "*") return true;
  std::string_view ext = ExtensionOf(fileName);
  if (ext.empty()) return false;
  // The dots on both sides make only whole extensions match, the last one
  // of the list included.
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  std::string key;
  key.reserve(ext.size() + 1);
  for (char c : ext) key.push_back(lower(c));
  key.push_back('.');
  std::string hay;
  hay.reserve(list.size() + 1);
  for (char c : list) hay.push_back(lower(c));
  hay.push_back('.');
  return hay.find(key) != std::string::npos;
}

std::string DisplayText(const AppState& state, const ListEntry& entry) {
  if (!entry.title.empty()) return entry.title;
  std::string_view name = FileNamePart(entry.path);
  return std::string(state.settings.NoExt ? BaseNameOf(name) : name);
}

void ScanFolder(AppState& state, const std::string& folder, bool descend, const std::string& ignoreName) {
  Visited visited;
  const size_t first = state.entries.size();
  ScanFolderInto(state, folder, descend, ignoreName, visited);
  ReadTitlesFrom(state.entries, first);
  SyncLastIndex(state);
}

void ReadTitlesFrom(std::vector<ListEntry>& entries, size_t first) {
  // A title is a file opened and a few kilobytes read: a large folder is
  // read by a few threads at once, each taking a run of entries at a time.
  constexpr size_t kRun = 64;
  std::atomic<size_t> next{first};
  auto read = [&] {
    for (size_t start; (start = next.fetch_add(kRun)) < entries.size();)
      for (size_t i = start; i < std::min(start + kRun, entries.size()); ++i) entries[i].title = ReadTitle(entries[i].path);
  };
  const size_t count = entries.size() > first ? entries.size() - first : 0;
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads && count > 4 * kRun; ++t) {
    try {
      helpers.emplace_back(read);
    } catch (const std::system_error&) {
      break;  // this thread reads them all
    }
  }
  read();
  for (std::thread& helper : helpers) helper.join();
}

void InsertFile(AppState& state, const std::string& path, int at, int& added) {
  ListEntry entry;
  entry.path = path;
  entry.title = ReadTitle(path);
  std::string text = DisplayText(state, entry);
  InsertEntryAndRow(state, std::move(entry), at + added, text);
  ++added;
}

void ScanDroppedFolder(AppState& state, const std::string& folder, int at, int& added) {
  std::vector<FolderItem> items;
  if (!ListFolder(folder, items)) return;
  for (const FolderItem& item : items) {
    if (!item.file || SkippedInListing(item.name) || !IsMediaName(state, item.name)) continue;
    InsertFile(state, JoinPath(folder, item.name), at, added);
  }
}

int LoadSavedSearch(AppState& state, const std::string& file, const std::string& baseDir, int at, int& added,
                    bool inSubFolder) {
  Visited savedSearches;
  int start = LoadSavedSearchImpl(state, file, baseDir, at, added, inSubFolder, savedSearches);
  SyncLastIndex(state);
  return start;
}

bool OpenTarget(AppState& state, const std::string& target, OpenKind kind) {
  Window* window = state.platform.window;
  Desktop* desktop = state.platform.desktop;
  const bool resumed = kind == OpenKind::ResumedList;
  // A folder named on the command line or handed over by a second start
  // opens as the open-folder command opens it: listed itself, first entry
  // playing. Whatever its name, a folder is never read as a playlist.
  const bool folderKind = kind == OpenKind::ChosenFolder || kind == OpenKind::DroppedFolder ||
                          (kind == OpenKind::File && IsFolder(target));
  std::string_view ext = ExtensionOf(FileNamePart(target));
  const bool playlist = !folderKind && IsPlaylistExt(ext);
  const bool savedSearch = !folderKind && ExtensionIs(ext, ".qel");

  if (window) window->DeleteAllRows();
  // The resume point is read only now, from the ini the last run wrote.
  if (resumed) ReadResumePoint(state);
  if (resumed) state.nowDir = state.settings.nowDir;
  else if (folderKind) state.nowDir = target;
  else state.nowDir = std::string(FolderPart(target));

  const bool exists = IsFileOrFolder(target);
  std::string startTarget = target;
  bool started = false;

  if (!exists) {
    state.entries.clear();
  } else {
    if (playlist) {
      state.entries.clear();
      if (!resumed && desktop) desktop->AddRecentDocument(target);
      int added = 0;
      ReadPlaylist(state, target, state.nowDir, 0, added, false, state.settings.NoExt);
      SyncLastIndex(state);
      state.currentIndex = 0;
      if (resumed) state.currentIndex = FindEntryByPath(state, state.settings.nowPlaying);
      else if (!state.entries.empty()) startTarget = state.entries.front().path;
    } else if (!savedSearch) {
      ReloadIgnoreDir(state);
      state.entries.clear();
      ScanFolder(state, state.nowDir, state.settings.SearchSubFolder, state.settings.IgnoreDir);
      SortEntries(state);
      state.currentIndex = FindEntryByPath(state, target);
    } else {
      if (!resumed && desktop) desktop->AddRecentDocument(target);
      ReloadIgnoreDir(state);
      state.entries.clear();
      int added = 0;
      state.currentIndex = LoadSavedSearch(state, target, state.nowDir, 0, added, false);
      if (!state.entries.empty()) startTarget = state.entries[state.currentIndex].path;
    }
    SyncLastIndex(state);
    if (folderKind && !state.entries.empty()) {
      state.currentIndex = 0;
      startTarget = state.entries.front().path;
    }
    if (!state.entries.empty()) RenumberPlayOrder(state, state.playMode, state.currentIndex);
    if (!playlist && !savedSearch && desktop) desktop->AddRecentDocument(startTarget);

    if (IsMediaName(state, startTarget) && !state.entries.empty() && !resumed) {
      StopPlayback(state, state.lengthSeconds);
      const int playing = state.currentIndex;
      ListEntry entry = state.entries[playing];
      if (PlayEntry(state, entry, playing, state.lastIndex) == 1) AdvancePlayback(state, true, false, playing);
      // After a skip the slider belongs to the entry that now plays.
      const std::string& measured = state.currentIndex == playing ? startTarget
                                                                  : state.entries[state.currentIndex].path;
      state.lengthSeconds = ReadLength(state, measured);
      state.lengthPath = measured;
      state.lengthStamp = StampOf(measured);
      if (window) window->SetPositionRange(0, state.lengthSeconds * 10);
      started = true;
    }
  }

  SyncLastIndex(state);
  if (state.entries.empty()) {
    state.currentIndex = -1;
    if (window) window->SetTitle("Qel");
  } else {
    state.stopRows = false;
    RebuildRows(state);
  }
  return started;
}

int DropOnList(AppState& state, const std::vector<std::string>& paths, Point clientPoint) {
  Window* window = state.platform.window;
  const bool wasEmpty = state.entries.empty();
  const int count = static_cast<int>(state.entries.size());
  std::string currentPath;
  if (!wasEmpty && state.currentIndex >= 0 && state.currentIndex < count)
    currentPath = state.entries[state.currentIndex].path;

  int at = count;
  if (window) {
    bool outside = false;
    int row = window->RowNearPoint(clientPoint, &outside);
    if (outside) at = count;
    else if (row < 0) at = 0;
    else at = std::min(row, count);
  }

  // The user may have edited the ignore name in the ini since the last scan.
  ReloadIgnoreDir(state);
  int added = 0;
  bool reordered = false;  // a saved search sorts the whole list
  for (const std::string& path : paths) {
    state.nowDir = std::string(FolderPart(path));
    if (IsFolder(path)) {
      ScanDroppedFolder(state, path, at, added);
      continue;
    }
    // Only regular files: reading a pipe or a device would never end.
    if (!IsRegularFile(path)) continue;
    std::string_view ext = ExtensionOf(FileNamePart(path));
    if (!IsMediaName(state, path) || IsPictureOrText(ext)) continue;
    if (IsPlaylistExt(ext)) {
      ReadPlaylist(state, path, state.nowDir, at, added, true, state.settings.NoExt);
      SyncLastIndex(state);
    } else if (ExtensionIs(ext, ".qel")) {
      LoadSavedSearch(state, path, state.nowDir, at, added, false);
      reordered = true;
    } else {
      InsertFile(state, path, at, added);
    }
  }

  SyncLastIndex(state);
  if (reordered) {
    // The rows no longer follow the sorted entries; the current file stays
    // current wherever the sort put it.
    state.currentIndex = wasEmpty ? 0 : FindEntryByPath(state, currentPath);
    state.stopRows = false;
    RebuildRows(state);
  } else if (wasEmpty) {
    state.currentIndex = 0;
  } else if (state.currentIndex >= at) {
    state.currentIndex += added;
  }
  if (state.entries.empty()) state.currentIndex = -1;
  return state.currentIndex;
}

int FindEntryByPath(const AppState& state, const std::string& path) {
  const int n = static_cast<int>(state.entries.size());
  if (n == 0) return -1;
  for (int i = 0; i < n - 1; ++i)
    if (state.entries[i].path == path) return i;
  return n - 1;  // later parts rely on an unknown path giving the last entry
}

void RenumberPlayOrder(AppState& state, PlayMode mode, int current) {
  const int n = static_cast<int>(state.entries.size());
  if (n == 0) return;
  if (mode != PlayMode::Random) {
    for (int i = 0; i < n; ++i) state.entries[i].order = i;
    return;
  }
  current = std::clamp(current, 0, n - 1);
  Shuffler random{state.shuffleSeed.value_or(static_cast<uint32_t>(std::time(nullptr)))};
  std::vector<int32_t> work(n - 1);
  std::iota(work.begin(), work.end(), 0);
  for (int i = 0; i + 1 < n; ++i) std::swap(work[i], work[random.Next() % (n - 1)]);
  for (int i = 0; i < n; ++i) {
    if (i == current) state.entries[i].order = 0;
    else if (i < current) state.entries[i].order = work[i] + 1;
    else state.entries[i].order = work[i - 1] + 1;
  }
}

void RebuildRows(AppState& state) {
  Window* window = state.platform.window;
  if (!window) return;
  state.rowsBusy = true;
  const std::string title = window->Title();
  window->DeleteAllRows();
  const int n = static_cast<int>(state.entries.size());
  window->ReserveRows(n);
  char progress[64];
  for (int i = 0; i < n && !state.stopRows; ++i) {
    std::snprintf(progress, sizeof progress, "プレイリスト作成中... (%d/%d)", i + 1, n);
    window->SetTitle(progress);
    window->AddRow(DisplayText(state, state.entries[i]));
  }
  window->SetTitle(title);
  state.rowsBusy = false;
}

}  // namespace qel
