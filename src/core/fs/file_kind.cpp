#include "core/fs/file_kind.h"

#include <sys/stat.h>

namespace qel {
namespace {

bool Mode(const std::string& path, mode_t* mode) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
  *mode = st.st_mode;
  return true;
}

}  // namespace

bool IsRegularFile(const std::string& path) {
  mode_t mode;
  return Mode(path, &mode) && S_ISREG(mode);
}

bool IsFolder(const std::string& path) {
  mode_t mode;
  return Mode(path, &mode) && S_ISDIR(mode);
}

bool IsFileOrFolder(const std::string& path) {
  mode_t mode;
  return Mode(path, &mode) && (S_ISREG(mode) || S_ISDIR(mode));
}

FileStamp StampOf(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
  return {static_cast<long long>(st.st_size), st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec};
}

}  // namespace qel
