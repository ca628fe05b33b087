#include "core/fs/file_kind.h"
#include "core/fs/companion.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <vector>

#include "core/fs/file_names.h"

namespace qel {
namespace {

// Whether a name could be some file's companion: only those are kept of a
// folder's names, which in a music folder are mostly the music itself.
bool CompanionLike(std::string_view name) {
  const std::string_view extension = files::Extension(name);
  auto among = [&](std::span<const std::string_view> kinds) {
    return std::any_of(kinds.begin(), kinds.end(), [&](std::string_view k) { return files::EqualNoCase(extension, k); });
  };
  return among(kTextCompanions) || among(kPictureCompanions);
}

// The companion-like names in a folder, read only when no exact name
// matched. A change of
// track asks for a text and a picture beside one file, and the media
// controls ask again: the last folder's names serve while its change time
// stays the same, so a folder of thousands of files is read once, not three
// times a track. A folder changed within the last second is read each time,
// as a change in the same clock tick would not move its time.
const std::vector<std::string>& FolderNames(const std::string& folder) {
  static std::string listed;
  static struct stat listedStat {};
  static std::vector<std::string> names;
  const std::string path = folder.empty() ? "." : folder;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    listed.clear();
    names.clear();
    return names;
  }
  const bool settled = std::time(nullptr) - st.st_mtim.tv_sec > 1;
  if (settled && path == listed && st.st_dev == listedStat.st_dev && st.st_ino == listedStat.st_ino &&
      st.st_mtim.tv_sec == listedStat.st_mtim.tv_sec && st.st_mtim.tv_nsec == listedStat.st_mtim.tv_nsec)
    return names;
  names.clear();
  listed.clear();
  if (DIR* dir = ::opendir(path.c_str())) {
    while (const dirent* entry = ::readdir(dir))
      if (CompanionLike(entry->d_name)) names.emplace_back(entry->d_name);
    ::closedir(dir);
    // Kept only when read from a settled folder: a change made later
    // moves its time.
    if (settled) {
      listed = path;
      listedStat = st;
    }
  }
  return names;
}

}  // namespace

std::string CompanionPath(std::string_view mediaPath, std::string_view extension) {
  std::string path(mediaPath.substr(0, mediaPath.size() - files::Extension(mediaPath).size()));
  path += extension;
  return path;
}

std::optional<std::string> FindCompanion(std::string_view mediaPath, std::span<const std::string_view> extensions) {
  for (std::string_view extension : extensions) {
    std::string path = CompanionPath(mediaPath, extension);
    if (IsRegularFile(path)) return path;
  }
  const std::string_view folder = files::Folder(mediaPath);
  const std::vector<std::string>& names = FolderNames(std::string(folder));
  for (std::string_view extension : extensions) {
    const std::string wanted(files::Name(CompanionPath(mediaPath, extension)));
    for (const std::string& name : names) {
      if (name == wanted || !files::EqualNoCase(name, wanted)) continue;
      std::string path = files::Join(folder, name);
      if (IsRegularFile(path)) return path;
    }
  }
  return std::nullopt;
}

std::optional<std::string> CompanionText(std::string_view mediaPath) { return FindCompanion(mediaPath, kTextCompanions); }

std::optional<std::string> CompanionPicture(std::string_view mediaPath) {
  return FindCompanion(mediaPath, kPictureCompanions);
}

bool IsTimedLyricsFile(std::string_view path) { return files::EqualNoCase(files::Extension(path), ".lrc"); }

}  // namespace qel
