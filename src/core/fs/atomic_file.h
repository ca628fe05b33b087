// The player's own files on disk. Replacing one never leaves half of it: the
// new bytes go to a temporary file in the same folder, are flushed to the
// disk, and only then take the old file's name in one rename. Reading one
// never blocks on a pipe or a device and never reads without end.
#pragma once

#include <string>
#include <string_view>

namespace qel {

enum class ReadResult { Read, Missing, NotRegular, Failed };

// Reads a regular file (a symbolic link is followed): whole, or its first
// limit bytes when it is longer (*cut is then set). Pipes, devices, sockets
// and folders are not opened for reading: NotRegular.
ReadResult ReadRegularFile(const std::string& path, size_t limit, std::string* bytes, bool* cut = nullptr);

// A temporary file beside its target, locked while this process holds it so
// that another save can tell it from the leftover of a killed one. Removed
// unless committed.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  TemporaryFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  TemporaryFile(TemporaryFile&& other) noexcept;
  TemporaryFile& operator=(TemporaryFile&& other) noexcept;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() { Discard(); }

  explicit operator bool() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  int fd() const { return fd_; }
  // Removes the file and lets it go.
  void Discard();
  // Renames it over target and flushes the folder; on failure the file is
  // removed and the answer is false.
  bool Commit(const std::string& target);

 private:
  std::string path_;
  int fd_ = -1;
};

// Writes bytes into a new temporary file beside path (creating the folder
// when it is missing) and flushes it; the leftovers of earlier saves of path
// that were killed before their rename are removed first. An empty answer
// when any step failed (nothing is then left behind). An existing target's
// permissions are copied; a new file gets mode.
TemporaryFile WriteTemporaryBeside(const std::string& path, std::string_view bytes, unsigned mode = 0644);
// Both steps; the old file stays whole when any of them fails. A symbolic
// link at path that the kernel would follow (FollowLink) is followed, so the
// link stays and its target is replaced.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, unsigned mode = 0644);
// The file a chain of symbolic links leads to, each link followed only when
// it is the user's own or its folder's owner's (as the kernel's
// protected_symlinks rule has it); the last name reached otherwise.
std::string FollowLink(const std::string& path);
// Removes the temporary files of saves of path that ended before their
// rename: "<name>.tmp-XXXXXX" beside it, regular, the user's own, and
// locked by no running save.
void RemoveStaleTemporaries(const std::string& path);

}  // namespace qel
