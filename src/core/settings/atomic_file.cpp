#include "core/settings/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace qel {
namespace {

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string FollowLink(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string out(real);
  free(real);
  return out;
}

std::optional<std::string> WriteTemporaryBeside(const std::string& path, std::string_view bytes, unsigned mode) {
  std::string folder = FolderOf(path);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::string name = path + ".tmp-XXXXXX";
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat old;
  mode_t wanted = static_cast<mode_t>(mode);
  if (stat(path.c_str(), &old) == 0) wanted = old.st_mode & 07777;
  // Some file systems refuse permissions; the content matters more.
  if (fchmod(fd, wanted) != 0) errno = 0;
  bool ok = WriteAll(fd, bytes);
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (!ok) {
    ::unlink(name.c_str());
    return std::nullopt;
  }
  return name;
}

bool CommitTemporary(const std::string& temporary, const std::string& path) {
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncFolder(FolderOf(path));
  return true;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, unsigned mode) {
  std::string target = FollowLink(path);
  auto temporary = WriteTemporaryBeside(target, bytes, mode);
  if (!temporary) return false;
  return CommitTemporary(*temporary, target);
}

}  // namespace qel
