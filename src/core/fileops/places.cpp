#include "core/fileops/places.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "core/list/list.h"

namespace qel {
namespace {

std::string ParentOf(const std::string& path) {
  const std::string_view folder = FolderPart(path);
  return folder.empty() ? std::string("/") : std::string(folder);
}

}  // namespace

std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return {};
  std::string out(real);
  std::free(real);
  return out;
}

bool SameFolder(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return S_ISDIR(sa.st_mode) && S_ISDIR(sb.st_mode) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string TopOfFileSystem(const std::string& folder) {
  std::string top = RealPath(folder);
  struct stat st;
  if (top.empty() || ::stat(top.c_str(), &st) != 0) return folder;
  while (top != "/") {
    const std::string parent = ParentOf(top);
    struct stat up;
    if (::stat(parent.c_str(), &up) != 0 || up.st_dev != st.st_dev) break;
    top = parent;
  }
  return top;
}

std::string DustFolderOf(const std::string& file, const std::string& home) {
  const std::string written(FolderPart(file));
  std::string top = RealPath(written.empty() ? std::string(".") : written);
  struct stat st;
  if (top.empty() || ::stat(top.c_str(), &st) != 0) return JoinPath(written, std::string(kDustFolderName));
  const std::string homeFolder = home.empty() ? std::string() : RealPath(home);
  while (top != "/" && top != homeFolder) {
    const std::string parent = ParentOf(top);
    struct stat up;
    // A folder that all users share (sticky, as /tmp) is nobody's own: the
    // dust stays below it.
    if (::stat(parent.c_str(), &up) != 0 || up.st_dev != st.st_dev || (up.st_mode & S_ISVTX) ||
        ::access(parent.c_str(), W_OK) != 0)
      break;
    top = parent;
  }
  return JoinPath(top, std::string(kDustFolderName));
}

bool IsPrivateFolder(const std::string& path) {
  struct stat st;
  if (path.empty() || ::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
    return false;
  if (st.st_mode & S_IWOTH) return false;
  return !(st.st_mode & S_IWGRP) || st.st_gid == ::getegid();
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return {};
}

}  // namespace qel
