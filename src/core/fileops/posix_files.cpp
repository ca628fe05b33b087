#include "core/fileops/posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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
  Leftover temporary;
  for (int attempt = 0; attempt < 100 && temporary.path.empty(); ++attempt) {
    const std::string name = JoinPath(FolderOf(to), ".qel-link-" + std::to_string(::getpid()) + "-" +
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

  Leftover temporary{JoinPath(FolderOf(to), ".qel-XXXXXX")};
  Descriptor out(::mkostemp(temporary.path.data(), O_CLOEXEC));
  if (!out) {
    temporary.path.clear();
    return FileOutcome::Failed;
  }
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
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  struct stat st;
  return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFileSystem::MoveToTrash(const std::string& path) { return TrashFile(path, homeTrash_); }

}  // namespace qel
