#include "core/fs/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace qel {
namespace {

constexpr std::string_view kTemporaryMark = ".tmp-";
constexpr size_t kTemporaryRandom = 6;  // the XXXXXX of mkostemp

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
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

bool IsTemporaryOf(std::string_view name, std::string_view targetName) {
  if (name.size() != targetName.size() + kTemporaryMark.size() + kTemporaryRandom) return false;
  if (name.substr(0, targetName.size()) != targetName) return false;
  if (name.substr(targetName.size(), kTemporaryMark.size()) != kTemporaryMark) return false;
  for (char c : name.substr(targetName.size() + kTemporaryMark.size()))
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

// A new temporary file beside path, locked. A leftover sweep of another
// save may remove the name between its creation and the lock; then a new
// one is made.
TemporaryFile CreateLockedTemporary(const std::string& path) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::string name = path + std::string(kTemporaryMark) + "XXXXXX";
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return {};
    struct stat st;
    if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0) return TemporaryFile(name, fd);
    ::close(fd);
  }
  return {};
}

}  // namespace

ReadResult ReadRegularFile(const std::string& path, size_t limit, std::string* bytes, bool* cut) {
  bytes->clear();
  if (cut) *cut = false;
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0)
    return (path.empty() || errno == ENOENT || errno == ENOTDIR) ? ReadResult::Missing : ReadResult::Failed;
  if (!S_ISREG(st.st_mode)) return ReadResult::NotRegular;
  // Non-blocking and checked again once open: the name may have been given
  // to a pipe in between.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return ReadResult::NotRegular;
  }
  const size_t stated = st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0;
  bytes->reserve((stated < limit ? stated : limit) + 1);
  char buffer[65536];
  ReadResult result = ReadResult::Read;
  while (bytes->size() <= limit) {
    size_t want = limit + 1 - bytes->size();
    ssize_t n = ::read(fd, buffer, want < sizeof buffer ? want : sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result = ReadResult::Failed;
      break;
    }
    if (n == 0) break;
    bytes->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  if (result != ReadResult::Read) {
    bytes->clear();
    return result;
  }
  if (bytes->size() > limit) {
    bytes->resize(limit);
    if (cut) *cut = true;
  }
  return ReadResult::Read;
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept : path_(std::move(other.path_)), fd_(other.fd_) {
  other.fd_ = -1;
}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
  if (this != &other) {
    Discard();
    path_ = std::move(other.path_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void TemporaryFile::Discard() {
  if (fd_ < 0) return;
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
}

bool TemporaryFile::Commit(const std::string& target) {
  if (fd_ < 0) return false;
  // The lock is held until the name is gone, so no sweep takes a finished
  // temporary for a leftover in the moment before its rename.
  if (::rename(path_.c_str(), target.c_str()) != 0) {
    Discard();
    return false;
  }
  ::close(fd_);
  fd_ = -1;
  SyncFolder(FolderOf(target));
  return true;
}

std::string FollowLink(const std::string& path) {
  // Each link is looked at through a descriptor of its folder, and followed
  // only where the kernel's protected_symlinks rule would follow it: the
  // link is the user's own or its folder's owner's. A link another user
  // planted in a shared folder is replaced, never written through.
  std::string current = path;
  const uid_t me = ::geteuid();
  for (int hops = 0; hops < 40; ++hops) {
    const int folder = ::open(FolderOf(current).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return current;
    const std::string name = NameOf(current);
    struct stat folderStat, link;
    char target[PATH_MAX];
    ssize_t n = -1;
    if (!name.empty() && name != "." && name != ".." && ::fstat(folder, &folderStat) == 0 &&
        ::fstatat(folder, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(link.st_mode) &&
        (link.st_uid == me || link.st_uid == folderStat.st_uid))
      n = ::readlinkat(folder, name.c_str(), target, sizeof target);
    ::close(folder);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof target) break;
    std::string next(target, static_cast<size_t>(n));
    if (next[0] != '/') next = FolderOf(current) + "/" + next;
    current = std::filesystem::path(next).lexically_normal().string();
  }
  // A broken link is replaced by the file, as before.
  struct stat st;
  return ::lstat(current.c_str(), &st) == 0 ? current : path;
}

void RemoveStaleTemporaries(const std::string& path) {
  const std::string folder = FolderOf(path);
  const std::string name = NameOf(path);
  if (name.empty()) return;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  const uid_t me = ::geteuid();
  while (dirent* d = readdir(dir)) {
    if (!IsTemporaryOf(d->d_name, name)) continue;
    const std::string candidate = folder + "/" + d->d_name;
    int fd = ::open(candidate.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) continue;
    struct stat opened, named;
    // Only the user's own regular files, and only when no running save
    // holds the lock; the name must still lead to the file that was locked.
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == me &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(candidate.c_str(), &named) == 0 &&
        named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
      ::unlink(candidate.c_str());
    ::close(fd);
  }
  closedir(dir);
}

TemporaryFile WriteTemporaryBeside(const std::string& path, std::string_view bytes, unsigned mode) {
  std::string folder = FolderOf(path);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  RemoveStaleTemporaries(path);
  TemporaryFile temporary = CreateLockedTemporary(path);
  if (!temporary) return {};
  const int fd = temporary.fd();
  struct stat old;
  mode_t wanted = static_cast<mode_t>(mode);
  if (stat(path.c_str(), &old) == 0) wanted = old.st_mode & 07777;
  // Some file systems refuse permissions; the content matters more.
  if (fchmod(fd, wanted) != 0) errno = 0;
  if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) return {};
  return temporary;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, unsigned mode) {
  std::string target = FollowLink(path);
  TemporaryFile temporary = WriteTemporaryBeside(target, bytes, mode);
  return temporary && temporary.Commit(target);
}

}  // namespace qel
