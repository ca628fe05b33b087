#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string_view>

#include "core/metadata/metadata.h"
#include "core/playlist/playlist.h"
#include "core/settings/file_names.h"
#include "core/text/encoding.h"

namespace qel {
namespace {

// A line longer than this arrives as several pieces, each read as a line of
// its own. The platform's path limit, so that any path that can exist fits.
constexpr size_t kPieceCharacters = 4095;

bool Exists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0;
}

// Relative lines written on Windows use "\"; a leading one meant the root.
// A Linux name may hold a "\" itself, so the literal reading wins when only
// it names something.
std::string ResolvePath(const std::string& line, const std::string& base) {
  if (!line.empty() && line[0] == '/') return line;
  std::string converted = line;
  for (char& c : converted)
    if (c == '\\') c = '/';
  if (converted.empty()) return files::Normalize(base);
  std::string resolved = converted[0] == '/' ? files::Normalize(converted)
                                             : files::Normalize(files::Join(base, converted));
  if (converted != line && !Exists(resolved)) {
    std::string literal = files::Normalize(files::Join(base, line));
    if (Exists(literal)) return literal;
  }
  return resolved;
}

std::string TitleOf(const std::string& line) {
  size_t comma = line.find(',');
  if (comma != std::string::npos) return line.substr(comma + 1);
  return line.size() > 8 ? line.substr(8) : std::string();
}

// Splits text into pieces of at most kPieceCharacters characters, a line
// end counting as one; each piece keeps its "\n" when it has one.
template <typename Visit>
void ForEachPiece(std::string_view text, Visit visit) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t start = pos;
    size_t count = 0;
    while (pos < text.size() && count < kPieceCharacters) {
      if (text[pos] == '\n') {
        ++pos;
        ++count;
        break;
      }
      DecodeUtf8(text, &pos);
      ++count;
      if (count == kPieceCharacters) break;
    }
    visit(text.substr(start, pos - start));
  }
}

}  // namespace

void ReadPlaylist(AppState& state, const std::string& path, const std::string& baseDir, int at, int& added,
                  bool rows, bool noExt) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return;

  bool legacy = files::EqualNoCase(files::Extension(path), ".m3u");
  std::string text;
  if (legacy) {
    text = LegacyToUtf8(bytes);
  } else {
    // UTF-8 byte for byte: a file name that is no valid UTF-8 must still
    // name its file. Titles are cleaned where they are taken.
    size_t skip = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    text = bytes.substr(skip);
  }
  bytes.clear();
  bytes.shrink_to_fit();
  // Text-mode reading: CR LF is one line end.
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines.push_back(text[i]);
  }
  text.clear();
  text.shrink_to_fit();

  // Relative lines need a folder; without one, the playlist's own.
  std::string base = baseDir.empty() ? std::string(files::Folder(path)) : baseDir;
  std::string pendingPath, pendingTitle;
  Window* window = rows ? state.platform.window : nullptr;

  ForEachPiece(lines, [&](std::string_view piece) {
    std::string line(piece);
    if (CountCodePoints(line) > 2) {
      if (line.back() == '\n') line.pop_back();
      if (line.find("#EXTINF:") != std::string::npos) pendingTitle = SanitizeUtf8(TitleOf(line));
      else pendingPath = ResolvePath(line, base);
    }
    if ((!line.empty() && line[0] == '#') || CountCodePoints(line) < 2 || !Exists(pendingPath)) return;

    ListEntry entry;
    entry.path = pendingPath;
    entry.title = pendingTitle;
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
    state.entries.insert(state.entries.begin() + index, std::move(entry));
    state.lastIndex = static_cast<int32_t>(state.entries.size()) - 1;
    pendingTitle.clear();
    pendingPath.clear();
    ++added;
  });
}

}  // namespace qel
