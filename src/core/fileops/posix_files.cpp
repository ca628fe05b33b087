#include "core/fileops/posix_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "core/fileops/places.h"
#include "core/fileops/trash.h"
#include "core/list/list.h"

namespace qel {
namespace {

// A descriptor closed with its owner.
struct Descriptor {
  int fd = -1;
  explicit Descriptor(int f) : fd(f) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  explicit operator bool() const { return fd >= 0; }
  int release() {
    int f = fd;
    fd = -1;
    return f;
  }
};

// A temporary name removed again unless kept.
struct Leftover {
  std::string path;
  ~Leftover() {
    if (!path.empty()) ::unlink(path.c_str());
  }
};

std::string FolderOf(const std::string& path) {
  std::string folder(FolderPart(path));
  return folder.empty() ? std::string(".") : folder;
}

constexpr std::string_view kLeftoverMark = ".qel-";
constexpr std::string_view kLinkMark = ".qel-link-";
// What a killed operation left is older than this; a running one holds its
// file's lock anyway.
constexpr time_t kLeftoverAge = 60;

// A new temporary file in folder, locked while this process works on it so
// that a sweep of another process passes it by.
Descriptor LockedTemporary(const std::string& folder, Leftover* name) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    name->path = JoinPath(folder, std::string(kLeftoverMark) + "XXXXXX");
    Descriptor fd(::mkostemp(name->path.data(), O_CLOEXEC));
    if (!fd) {
      name->path.clear();
      return Descriptor(-1);
    }
    if (::flock(fd.fd, LOCK_EX) != 0) return Descriptor(-1);  // the Leftover removes the name
    // A sweep may take the name between its creation and the lock.
    struct stat st;
    if (::fstat(fd.fd, &st) == 0 && st.st_nlink > 0) return Descriptor(fd.release());
    name->path.clear();
  }
  return Descriptor(-1);
}

bool WriteBytes(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// Copies from the descriptors' offsets to the end of `in`: in the kernel
// where it can, through a buffer where it cannot.
bool CopyContents(int in, int out, off_t* copied) {
  bool plain = false;
  std::vector<char> buffer;
  for (;;) {
    ssize_t n;
    if (!plain) {
      n = ::copy_file_range(in, nullptr, out, nullptr, size_t{1} << 30, 0);
      if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF ||
                    errno == EPERM)) {
        plain = true;
        continue;
      }
    } else {
      if (buffer.empty()) buffer.resize(size_t{1} << 20);
      n = ::read(in, buffer.data(), buffer.size());
      for (ssize_t done = 0; n > 0 && done < n;) {
        const ssize_t w = ::write(out, buffer.data() + done, static_cast<size_t>(n - done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;  // a full disk ends here
        done += w;
      }
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    *copied += n;
  }
}

// A symbolic link recreated beside `to` under a temporary name, then named.
FileOutcome CopyLink(const std::string& from, const std::string& to) {
  std::vector<char> target(4096);
  for (;;) {
    const ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
    if (n < 0) return FileOutcome::Failed;
    if (static_cast<size_t>(n) < target.size()) {
      target.resize(static_cast<size_t>(n));
      break;
    }
    target.resize(target.size() * 2);
  }
  target.push_back('\0');
  static std::atomic<unsigned> counter{0};
  RemoveLeftovers(FolderOf(to));
  Leftover temporary;
  for (int attempt = 0; attempt < 100 && temporary.path.empty(); ++attempt) {
    const std::string name = JoinPath(FolderOf(to), std::string(kLinkMark) + std::to_string(::getpid()) + "-" +
                                                        std::to_string(counter++));
    if (::symlink(target.data(), name.c_str()) == 0) temporary.path = name;
    else if (errno != EEXIST) return FileOutcome::Failed;
  }
  if (temporary.path.empty()) return FileOutcome::Failed;
  if (!RenameNoReplace(temporary.path, to)) return errno == EEXIST ? FileOutcome::Exists : FileOutcome::Failed;
  temporary.path.clear();
  SyncFolder(FolderOf(to));
  return FileOutcome::Done;
}

FileOutcome MoveAcross(const std::string& from, const std::string& to, const struct stat& st) {
  // Copying first and then finding that the source cannot go would leave
  // the file twice.
  if (::access(FolderOf(from).c_str(), W_OK) != 0) return FileOutcome::Failed;
  FileOutcome copied = FileOutcome::Failed;
  if (S_ISLNK(st.st_mode))
    copied = CopyLink(from, to);
  else if (S_ISREG(st.st_mode))
    copied = CopyFileNoReplace(from, to, true);
  if (copied != FileOutcome::Done) return copied;
  if (::unlink(from.c_str()) != 0) {
    // Back to where it started: the copy is ours, the source stays.
    ::unlink(to.c_str());
    SyncFolder(FolderOf(to));
    return FileOutcome::Failed;
  }
  SyncFolder(FolderOf(from));
  return FileOutcome::Done;
}

}  // namespace

std::string DefaultHomeTrash() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return JoinPath(data, "Trash");
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : JoinPath(home, ".local/share/Trash");
}

PosixFileSystem::PosixFileSystem() : homeTrash_(DefaultHomeTrash()) {}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
  // A file system without the no-replace rename: a link never takes a name
  // that is in use.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  if (::unlink(from.c_str()) != 0) {
    const int why = errno;
    ::unlink(to.c_str());
    errno = why;
    return false;
  }
  return true;
}

FileOutcome CopyFileNoReplace(const std::string& from, const std::string& to, bool keepOwner) {
  struct stat taken;
  if (::lstat(to.c_str(), &taken) == 0) return FileOutcome::Exists;
  // Never blocks on a pipe that took the name of a media file.
  Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!in) return FileOutcome::Failed;
  struct stat st;
  if (::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) return FileOutcome::Failed;

  RemoveLeftovers(FolderOf(to));
  Leftover temporary;
  Descriptor out = LockedTemporary(FolderOf(to), &temporary);
  if (!out) return FileOutcome::Failed;
  off_t copied = 0;
  if (!CopyContents(in.fd, out.fd, &copied)) return FileOutcome::Failed;
  // The copy counts only when it holds what the source held from start to
  // end: a source that grew, shrank or was written meanwhile is not copied.
  struct stat after;
  if (::fstat(in.fd, &after) != 0 || copied != st.st_size || after.st_size != st.st_size ||
      !SameTime(after.st_mtim, st.st_mtim))
    return FileOutcome::Failed;
  // Only a privileged user can give the copy another user's name; the
  // copy is whole without it. Done before the mode, which it would clear.
  if (keepOwner && ::fchown(out.fd, st.st_uid, st.st_gid) != 0) {
  }
  if (::fchmod(out.fd, st.st_mode & (keepOwner ? 07777 : 0777)) != 0) return FileOutcome::Failed;
  const timespec times[2] = {st.st_atim, st.st_mtim};
  if (::futimens(out.fd, times) != 0) return FileOutcome::Failed;
  struct stat written;
  if (::fsync(out.fd) != 0 || ::fstat(out.fd, &written) != 0 || written.st_size != st.st_size)
    return FileOutcome::Failed;
  if (::close(out.release()) != 0) return FileOutcome::Failed;
  if (!RenameNoReplace(temporary.path, to)) return errno == EEXIST ? FileOutcome::Exists : FileOutcome::Failed;
  temporary.path.clear();
  SyncFolder(FolderOf(to));
  return FileOutcome::Done;
}

bool IsLeftoverName(std::string_view name) {
  if (name.substr(0, kLinkMark.size()) == kLinkMark) return name.size() > kLinkMark.size();
  if (name.size() != kLeftoverMark.size() + 6 || name.substr(0, kLeftoverMark.size()) != kLeftoverMark) return false;
  for (char c : name.substr(kLeftoverMark.size()))
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

void RemoveLeftovers(const std::string& folder) {
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return;
  DIR* dir = ::fdopendir(dirFd);
  if (!dir) {
    ::close(dirFd);
    return;
  }
  const uid_t me = ::geteuid();
  const time_t now = std::time(nullptr);
  while (dirent* d = ::readdir(dir)) {
    const std::string_view name = d->d_name;
    if (!IsLeftoverName(name)) continue;
    struct stat named;
    if (::fstatat(dirFd, d->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_uid != me ||
        now - named.st_mtim.tv_sec < kLeftoverAge)
      continue;
    if (name.substr(0, kLinkMark.size()) == kLinkMark) {
      if (S_ISLNK(named.st_mode)) ::unlinkat(dirFd, d->d_name, 0);
      continue;
    }
    // Opened without following a link; the name must still lead to the
    // file that was found unlocked.
    Descriptor file(::openat(dirFd, d->d_name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    struct stat opened, again;
    if (file && ::fstat(file.fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == me &&
        ::flock(file.fd, LOCK_EX | LOCK_NB) == 0 && ::fstatat(dirFd, d->d_name, &again, AT_SYMLINK_NOFOLLOW) == 0 &&
        again.st_dev == opened.st_dev && again.st_ino == opened.st_ino)
      ::unlinkat(dirFd, d->d_name, 0);
  }
  ::closedir(dir);
}

bool WriteFileReplacing(const std::string& path, std::string_view bytes) {
  const std::string folder = FolderOf(path);
  RemoveLeftovers(folder);
  Leftover temporary;
  Descriptor out = LockedTemporary(folder, &temporary);
  if (!out) return false;
  if (!WriteBytes(out.fd, bytes) || ::fsync(out.fd) != 0) return false;
  // mkostemp makes it 0600; the player's other files are 0644.
  if (::fchmod(out.fd, 0644) != 0) return false;
  // rename() replaces the name itself: a link under it is not followed.
  if (::rename(temporary.path.c_str(), path.c_str()) != 0) return false;
  temporary.path.clear();
  SyncFolder(folder);
  return true;
}

bool PosixFileSystem::Exists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

FileOutcome PosixFileSystem::CopyNoReplace(const std::string& from, const std::string& to) {
  return CopyFileNoReplace(from, to, false);
}

FileOutcome PosixFileSystem::MoveNoReplace(const std::string& from, const std::string& to) {
  struct stat st;
  if (from.empty() || to.empty() || ::lstat(from.c_str(), &st) != 0) return FileOutcome::Failed;
  if (Exists(to)) return FileOutcome::Exists;
  if (RenameNoReplace(from, to)) {
    SyncFolder(FolderOf(to));
    if (FolderOf(from) != FolderOf(to)) SyncFolder(FolderOf(from));
    return FileOutcome::Done;
  }
  if (errno == EEXIST) return FileOutcome::Exists;
  if (errno != EXDEV) return FileOutcome::Failed;
  return MoveAcross(from, to, st);
}

bool PosixFileSystem::MakeFolder(const std::string& path) {
  // Made for this user alone: the dust folder holds what was taken out of
  // sight.
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  struct stat st;
  return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFileSystem::MoveToTrash(const std::string& path) { return TrashFile(path, homeTrash_); }

}  // namespace qel
