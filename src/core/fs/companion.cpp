#include "core/fs/companion.h"

#include <dirent.h>
#include <sys/stat.h>

#include <vector>

#include "core/settings/file_names.h"

namespace qel {
namespace {

// Only regular files (after links) are read: a folder, a pipe or a device
// of that name is no companion.
bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The names in a folder, read only when no exact name matched.
std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
  ::closedir(dir);
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
  const std::vector<std::string> names = FolderNames(std::string(folder));
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
