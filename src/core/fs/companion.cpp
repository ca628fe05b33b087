#include "core/fs/companion.h"

#include <sys/stat.h>

#include <array>

#include "core/settings/file_names.h"

namespace qel {

std::string CompanionPath(std::string_view mediaPath, std::string_view extension) {
  std::string path(mediaPath.substr(0, mediaPath.size() - files::Extension(mediaPath).size()));
  path += extension;
  return path;
}

std::optional<std::string> CompanionPicture(std::string_view mediaPath) {
  static constexpr std::array<std::string_view, 3> kPictures = {".png", ".jpg", ".jpeg"};
  for (std::string_view extension : kPictures) {
    std::string candidate = CompanionPath(mediaPath, extension);
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return candidate;
  }
  return std::nullopt;
}

}  // namespace qel
