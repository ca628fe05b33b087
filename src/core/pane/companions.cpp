#include "core/pane/companions.h"

#include <dirent.h>
#include <sys/stat.h>

#include <span>
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

// The names in a folder, read once per refresh and only when an exact
// match failed.
std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
  ::closedir(dir);
  return names;
}

class Finder {
 public:
  explicit Finder(std::string_view mediaPath) : media_(mediaPath) {}

  std::string First(std::span<const std::string_view> extensions) {
    for (std::string_view ext : extensions) {
      std::string path = CompanionPath(media_, ext);
      if (IsRegularFile(path)) return path;
    }
    if (!listed_) {
      names_ = FolderNames(std::string(files::Folder(media_)));
      listed_ = true;
    }
    for (std::string_view ext : extensions) {
      const std::string wanted(files::Name(CompanionPath(media_, ext)));
      for (const std::string& name : names_) {
        if (name == wanted || !files::EqualNoCase(name, wanted)) continue;
        std::string path = files::Join(files::Folder(media_), name);
        if (IsRegularFile(path)) return path;
      }
    }
    return {};
  }

 private:
  std::string_view media_;
  bool listed_ = false;
  std::vector<std::string> names_;
};

}  // namespace

std::string CompanionPath(std::string_view mediaPath, std::string_view extension) {
  const std::string_view ext = files::Extension(mediaPath);
  std::string path(mediaPath.substr(0, mediaPath.size() - ext.size()));
  path += extension;
  return path;
}

Companions FindCompanions(const std::string& mediaPath) {
  Finder finder(mediaPath);
  Companions out;
  out.text = finder.First(kTextCompanions);
  out.picture = finder.First(kPictureCompanions);
  return out;
}

bool IsTimedLyricsFile(std::string_view path) { return files::EqualNoCase(files::Extension(path), ".lrc"); }

}  // namespace qel
