#include "core/fileops/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>

#include "core/fileops/places.h"
#include "core/fileops/posix_files.h"
#include "core/list/list.h"

namespace qel {
namespace {

constexpr std::string_view kInfoSuffix = ".trashinfo";
constexpr int kMaxTries = 10000;

// A Trash folder: where its files and infos go, and the top of the file
// system it serves (empty for the home Trash, whose paths are absolute).
struct TrashPlace {
  std::string folder;
  std::string top;
};

// The device of a path, or of its nearest ancestor that is there.
bool DeviceOfNearest(std::string path, dev_t* device) {
  struct stat st;
  while (!path.empty()) {
    if (::stat(path.c_str(), &st) == 0) {
      *device = st.st_dev;
      return true;
    }
    if (path == "/") return false;
    const std::string_view folder = FolderPart(path);
    path = folder.empty() ? std::string("/") : std::string(folder);
  }
  return false;
}

// A folder of this user's own, made when missing (mode 0700). A link or a
// folder of someone else is never used: the files would go where another
// user chose.
bool OwnFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

// The folder with its missing parents (the home Trash's data folder may
// not be there yet).
bool FolderWithParents(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const std::string_view parent = FolderPart(path);
  if (!parent.empty() && parent != path && !FolderWithParents(std::string(parent))) return false;
  return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

bool WithFilesAndInfo(const std::string& trash) {
  return OwnFolder(trash) && OwnFolder(JoinPath(trash, "files")) && OwnFolder(JoinPath(trash, "info"));
}

bool ChooseTrash(dev_t device, const std::string& folder, const std::string& homeTrash, TrashPlace* place) {
  dev_t homeDevice;
  if (!homeTrash.empty() && DeviceOfNearest(homeTrash, &homeDevice) && homeDevice == device) {
    const std::string_view parent = FolderPart(homeTrash);
    if (!parent.empty() && !FolderWithParents(std::string(parent))) return false;
    if (!WithFilesAndInfo(homeTrash)) return false;
    *place = {homeTrash, {}};
    return true;
  }
  const std::string top = TopOfFileSystem(folder);
  const std::string uid = std::to_string(::getuid());
  // A shared .Trash counts only as the administrator sets it up: a real
  // folder with the sticky bit, so users cannot take each other's.
  const std::string shared = JoinPath(top, ".Trash");
  struct stat st;
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
    const std::string mine = JoinPath(shared, uid);
    if (WithFilesAndInfo(mine)) {
      *place = {mine, top};
      return true;
    }
  }
  const std::string own = JoinPath(top, ".Trash-" + uid);
  if (WithFilesAndInfo(own)) {
    *place = {own, top};
    return true;
  }
  return false;
}

std::string DeletionDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Cuts a UTF-8 text to at most `bytes` bytes without splitting a character.
std::string_view CutUtf8(std::string_view text, size_t bytes) {
  if (text.size() <= bytes) return text;
  while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
  return text.substr(0, bytes);
}

}  // namespace

std::string EscapeTrashPath(std::string_view path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (unsigned char c : path) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

std::string TrashEntryName(std::string_view name, int n) {
  const size_t dot = name.rfind('.');
  std::string_view stem = dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
  std::string_view ext = dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot);
  const std::string number = n > 1 ? "." + std::to_string(n) : std::string();
  const size_t limit = NAME_MAX - kInfoSuffix.size();
  if (number.size() + ext.size() + 1 > limit) ext = {};
  stem = CutUtf8(stem, limit - number.size() - ext.size());
  return std::string(stem) + number + std::string(ext);
}

bool TrashFile(const std::string& path, const std::string& homeTrash) {
  struct stat st;
  if (path.empty() || ::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  const std::string_view written = FolderPart(path);
  const std::string folder = RealPath(written.empty() ? std::string(".") : std::string(written));
  if (folder.empty()) return false;
  const std::string name(FileNamePart(path));
  const std::string original = JoinPath(folder, name);

  TrashPlace place;
  if (!ChooseTrash(st.st_dev, folder, homeTrash, &place)) return false;
  // A Trash at the top of a file system names its files from that top, so
  // that the drive can be mounted elsewhere and still be restored from.
  std::string origin = original;
  if (!place.top.empty()) origin = place.top == "/" ? original.substr(1) : original.substr(place.top.size() + 1);
  const std::string info = "[Trash Info]\nPath=" + EscapeTrashPath(origin) + "\nDeletionDate=" + DeletionDate() + "\n";

  const std::string files = JoinPath(place.folder, "files");
  const std::string infos = JoinPath(place.folder, "info");
  for (int n = 1; n <= kMaxTries; ++n) {
    const std::string entry = TrashEntryName(name, n);
    const std::string infoPath = JoinPath(infos, entry + std::string(kInfoSuffix));
    // The info file is made first and exclusively: it claims the name.
    const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    const bool written = WriteAll(fd, info) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written) {
      ::unlink(infoPath.c_str());
      return false;
    }
    SyncFolder(infos);
    if (!RenameNoReplace(original, JoinPath(files, entry))) {
      const int why = errno;
      ::unlink(infoPath.c_str());
      if (why == EEXIST) continue;  // a leftover without its info
      return false;
    }
    SyncFolder(files);
    SyncFolder(folder);
    return true;
  }
  return false;
}

}  // namespace qel
