#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/fs/atomic_file.h"
#include "core/fs/file_kind.h"
#include "core/fs/file_names.h"
#include "core/metadata/metadata.h"
#include "core/playlist/playlist.h"
#include "core/text/encoding.h"

namespace qel {
namespace {

// A line longer than this arrives as several pieces, each read as a line of
// its own. The platform's path limit, so that any path that can exist fits.
constexpr size_t kPieceCharacters = 4095;

// How many names one line of a legacy playlist may look up before it
// counts as missing: far more than any real path has parts.
constexpr int kSpellingBudget = 256;

// Lines name regular files and folders; a pipe or a device named by a line
// would block or never end once it is played or measured.
bool NamesFileOrFolder(const std::string& path) { return IsFileOrFolder(path); }

// Names are looked up by a view into the path at hand, without a copy.
struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};
template <typename Value>
using NameMap = std::unordered_map<std::string, Value, NameHash, std::equal_to<>>;

// Whether lines name files or folders, asked of each folder's listing once
// a playlist has named several entries in it: a list of 10,000 files in one
// folder then costs one directory read, not 10,000 calls to stat. A folder
// the list names few entries in is never listed (it may hold many more
// files than the list names), and what a listing cannot tell (links, file
// systems that leave the type open, an unreadable folder) goes to stat.
class Existence {
 public:
  bool NamesFileOrFolderAt(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size()) return NamesFileOrFolder(path);
    const std::string_view folderPath = std::string_view(path).substr(0, slash);
    auto known = folders_.find(folderPath);
    if (known == folders_.end()) known = folders_.emplace(std::string(folderPath), Folder{}).first;
    Folder& folder = known->second;
    if (!folder.listed && ++folder.asked >= kListAfter) folder.listed = List(known->first, folder);
    if (!folder.listed || folder.unreadable) return NamesFileOrFolder(path);
    auto it = folder.types.find(std::string_view(path).substr(slash + 1));
    if (it == folder.types.end()) return false;
    if (it->second == DT_REG || it->second == DT_DIR) return true;
    if (it->second == DT_LNK || it->second == DT_UNKNOWN) return NamesFileOrFolder(path);
    return false;  // a pipe, a device, a socket
  }

 private:
  static constexpr int kListAfter = 8;
  struct Folder {
    int asked = 0;
    bool listed = false;
    bool unreadable = false;
    NameMap<unsigned char> types;
  };
  static bool List(const std::string& path, Folder& folder) {
    DIR* dir = opendir(path.empty() ? "/" : path.c_str());
    if (!dir) {
      folder.unreadable = true;
      return true;
    }
    while (dirent* d = readdir(dir)) folder.types.emplace(d->d_name, d->d_type);
    closedir(dir);
    return true;
  }
  NameMap<Folder> folders_;
};

// Relative lines written on Windows use "\"; a leading one meant the root.
// A Linux name may hold a "\" itself, so the literal reading wins when only
// it names something.
std::string ResolvePath(std::string_view line, const std::string& base) {
  if (!line.empty() && line[0] == '/') return std::string(line);
  std::string converted(line);
  for (char& c : converted)
    if (c == '\\') c = '/';
  if (converted.empty()) return files::Normalize(base);
  std::string resolved = files::Normalize(converted[0] == '/' ? converted : files::Join(base, converted));
  if (converted != line && !NamesFileOrFolder(resolved)) {
    std::string literal = files::Normalize(files::Join(base, line));
    if (NamesFileOrFolder(literal)) return literal;
  }
  return resolved;
}

// A name with each character of a legacy twin pair in one form, so that
// the spellings of one CP932 name become the same text.
std::string FoldTwins(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  size_t pos = 0;
  while (pos < name.size()) {
    uint32_t c = DecodeUtf8(name, &pos);
    uint32_t twin = LegacyTwin(c);
    AppendUtf8(out, twin != 0 && twin < c ? twin : c);
  }
  return out;
}

// The names of the folders a legacy playlist's lines lead through, by their
// folded form; each folder is listed once per playlist.
class FolderNames {
 public:
  const std::vector<std::string>* Find(const std::string& folder, const std::string& folded) {
    auto [it, fresh] = folders_.try_emplace(folder);
    if (fresh) {
      if (DIR* dir = opendir(folder.empty() ? "." : folder.c_str())) {
        while (dirent* d = readdir(dir)) {
          std::string_view name = d->d_name;
          if (name != "." && name != "..") it->second[FoldTwins(name)].emplace_back(name);
        }
        closedir(dir);
      }
    }
    auto found = it->second.find(folded);
    return found == it->second.end() ? nullptr : &found->second;
  }

 private:
  std::unordered_map<std::string, std::unordered_map<std::string, std::vector<std::string>>> folders_;
};

// The other spellings of a line of a legacy playlist. The same CP932 bytes
// stand for 〜 or ～, ¥ or \ and so on, depending on the table that made the
// name on disk, and a "\" may also have been a Windows separator. The line
// is matched against the folders it leads through, one name at a time.
class SpellingSearch {
 public:
  SpellingSearch(const std::string& line, const std::string& base, FolderNames& names)
      : line_(FoldTwins(line)), base_(files::Normalize(base)), names_(names) {}

  // The path of the first spelling that names a file or folder, or "".
  std::string Find() {
    if (line_.empty()) return {};
    if (line_[0] == '/' || line_[0] == '\\') {
      if (Walk("/", 1)) return found_;
      if (line_[0] == '/') return {};
    }
    return Walk(base_, 0) ? found_ : std::string();
  }

 private:
  static bool IsSeparator(char c) { return c == '/' || c == '\\'; }

  bool Walk(const std::string& folder, size_t pos) {
    while (pos < line_.size() && line_[pos] == '/') ++pos;
    if (pos == line_.size()) return Accept(folder);
    // The name ends at the first "/", or at any "\" before it.
    for (size_t end = pos; end <= line_.size(); ++end) {
      if (end < line_.size() && !IsSeparator(line_[end])) continue;
      if (--budget_ < 0) return false;
      const std::string name = line_.substr(pos, end - pos);
      const bool last = end == line_.size();
      if (name == "." || name == "..") {
        std::string next = name == "." ? folder : std::string(files::Folder(folder));
        if (next.empty()) next = folder;
        if (last ? Accept(next) : Walk(next, end + 1)) return true;
      } else if (const std::vector<std::string>* spellings = names_.Find(folder, name)) {
        for (const std::string& spelling : *spellings) {
          const std::string path = files::Join(folder, spelling);
          if (last ? Accept(path) : (IsFolder(path) && Walk(path, end + 1))) return true;
        }
      }
      if (last || line_[end] == '/') break;
    }
    return false;
  }

  bool Accept(const std::string& path) {
    if (!NamesFileOrFolder(path)) return false;
    found_ = files::Normalize(path);
    return true;
  }

  std::string line_;
  std::string base_;
  FolderNames& names_;
  int budget_ = kSpellingBudget;
  std::string found_;
};

// Resolves path lines. A playlist of one line repeated many times costs one
// look at the disk, not one per line.
class Resolver {
 public:
  Resolver(std::string base, bool legacy) : base_(std::move(base)), legacy_(legacy) {}

  // The path a line names, and whether a file or folder is there.
  const std::string& Resolve(std::string_view line, bool* names) {
    if (!valid_ || line != line_) {
      line_ = line;
      valid_ = true;
      path_ = ResolvePath(line, base_);
      names_ = existence_.NamesFileOrFolderAt(path_);
      if (!names_ && legacy_ && line[0] != '#') {
        std::string other = SpellingSearch(line_, base_, folderNames_).Find();
        if (!other.empty()) {
          path_ = std::move(other);
          names_ = true;
        }
      }
    }
    *names = names_;
    return path_;
  }

 private:
  std::string base_;
  bool legacy_;
  bool valid_ = false;
  std::string line_, path_;
  bool names_ = false;
  FolderNames folderNames_;
  Existence existence_;
};

std::string_view TitleOf(std::string_view line) {
  size_t comma = line.find(',');
  if (comma != std::string_view::npos) return line.substr(comma + 1);
  return line.size() > 8 ? line.substr(8) : std::string_view();
}

// A piece's length in characters, its line end counting as one, as far as
// the reader asks: whether it is below 2 or above 2. Nine bytes or more
// are three characters or more.
size_t ShortLength(std::string_view piece, bool ended) {
  return (piece.size() > 8 ? 3 : CountCodePoints(piece)) + (ended ? 1 : 0);
}

// Splits text into lines as text-mode reading does (CR LF is one line end),
// pieces of at most kPieceCharacters characters with the line end counting
// as one. The visitor gets each piece without its line end, whether it had
// one, and answers whether to go on.
template <typename Visit>
void ForEachPiece(std::string_view text, Visit visit) {
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t start = pos;
    // A line of fewer bytes than a piece has characters is one piece: its
    // end is found by one search, its characters are not counted.
    const size_t newline = text.find('\n', pos);
    const bool hasEnd = newline != std::string_view::npos;
    size_t end = hasEnd ? newline : text.size();
    if (hasEnd && end > start && text[end - 1] == '\r') --end;
    if (end - start < kPieceCharacters) {
      pos = hasEnd ? newline + 1 : text.size();
      if (!visit(text.substr(start, end - start), hasEnd)) return;
      continue;
    }
    size_t count = 0;
    bool ended = false;
    size_t stop = pos;
    while (pos < text.size() && count < kPieceCharacters) {
      if (text[pos] == '\n' || (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n')) {
        stop = pos;
        pos += text[pos] == '\n' ? 1 : 2;
        ended = true;
        ++count;
        break;
      }
      DecodeUtf8(text, &pos);
      stop = pos;
      ++count;
    }
    if (!visit(text.substr(start, stop - start), ended)) return;
  }
}

}  // namespace

bool ReadsAsUtf8(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return true;
  bool wide = false;
  for (unsigned char c : bytes)
    if (c >= 0x80) {
      wide = true;
      break;
    }
  return wide && IsValidUtf8(bytes);
}

void ReadPlaylist(AppState& state, const std::string& path, const std::string& baseDir, int at, int& added,
                  bool rows, bool noExt) {
  std::string bytes;
  bool cut = false;
  if (ReadRegularFile(path, kPlaylistByteLimit, &bytes, &cut) != ReadResult::Read) return;
  // The line the bound went through is only part of a path.
  if (cut) bytes.resize(bytes.rfind('\n') == std::string::npos ? 0 : bytes.rfind('\n') + 1);

  // A ".m3u" that other Linux programs wrote in UTF-8 reads as UTF-8;
  // names that are no valid UTF-8 must still name their files.
  const bool legacy = files::EqualNoCase(files::Extension(path), ".m3u") && !ReadsAsUtf8(bytes);
  std::string text;
  if (legacy) {
    text = LegacyToUtf8(bytes);
  } else {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    text = std::move(bytes);
  }
  bytes.clear();
  bytes.shrink_to_fit();

  // Relative lines need a folder; without one, the playlist's own.
  Resolver resolver(baseDir.empty() ? std::string(files::Folder(path)) : baseDir, legacy);
  std::string pendingPath, pendingTitle;
  bool pendingNames = false;
  size_t taken = 0;
  Window* window = rows ? state.platform.window : nullptr;

  // Room for every line that may name an entry, made once: grown entry by
  // entry, a list of 10,000 would be moved a dozen times.
  size_t candidates = 0;
  for (size_t start = 0; start < text.size();) {
    const size_t newline = text.find('\n', start);
    if (text[start] != '#' && text[start] != '\n' && text[start] != '\r') ++candidates;
    if (newline == std::string::npos) break;
    start = newline + 1;
  }
  const size_t wanted = state.entries.size() + std::min(candidates, kListEntryLimit);
  if (wanted > state.entries.capacity()) state.entries.reserve(std::max(wanted, state.entries.capacity() * 2));

  ForEachPiece(text, [&](std::string_view line, bool ended) {
    const size_t length = ShortLength(line, ended);
    if (length > 2) {
      if (line.find("#EXTINF:") != std::string::npos) {
        pendingTitle = SanitizeUtf8(TitleOf(line));
      } else {
        pendingPath = resolver.Resolve(line, &pendingNames);
      }
    }
    if ((!line.empty() && line[0] == '#') || length < 2 || !pendingNames) return true;

    ListEntry entry;
    entry.path = std::move(pendingPath);
    int index = at + added;
    if (index < 0 || index > static_cast<int>(state.entries.size())) index = static_cast<int>(state.entries.size());
    if (window) {
      std::string rowText = pendingTitle;
      if (rowText.empty()) rowText = ReadTitle(entry.path);
      if (rowText.empty()) {
        std::string_view name = files::Name(entry.path);
        rowText = std::string(noExt ? files::Stem(name) : name);
      }
      window->InsertRow(index, rowText);
    }
    entry.title = std::move(pendingTitle);
    state.entries.insert(state.entries.begin() + index, std::move(entry));
    state.lastIndex = static_cast<int32_t>(state.entries.size()) - 1;
    pendingTitle.clear();
    pendingPath.clear();
    pendingNames = false;
    ++added;
    return ++taken < kListEntryLimit;
  });
}

}  // namespace qel
