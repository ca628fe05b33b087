// The file system seam over POSIX calls and the freedesktop Trash.
//
// Copies are written under a temporary name in the target folder, flushed to
// the disk and only then given their name, without replacing anything that
// took the name meanwhile. Moves are renames on one file system; across file
// systems they are such a copy, checked against the source, after which the
// source is removed. Whatever fails, the source stays and the target name
// stays free.
#pragma once

#include <string>
#include <string_view>

#include "core/platform.h"

namespace qel {

class PosixFileSystem : public FileSystem {
 public:
  // The home Trash of the user: $XDG_DATA_HOME/Trash, else
  // ~/.local/share/Trash.
  PosixFileSystem();
  // A given home Trash (tests keep theirs in a temporary folder).
  explicit PosixFileSystem(std::string homeTrash) : homeTrash_(std::move(homeTrash)) {}

  bool Exists(const std::string& path) override;
  FileOutcome CopyNoReplace(const std::string& from, const std::string& to) override;
  FileOutcome MoveNoReplace(const std::string& from, const std::string& to) override;
  bool MakeFolder(const std::string& path) override;
  bool MoveToTrash(const std::string& path) override;

  const std::string& homeTrash() const { return homeTrash_; }

 private:
  std::string homeTrash_;
};

// The home Trash folder from the environment.
std::string DefaultHomeTrash();

// The copy itself: a new file at `to` with the bytes, permissions and
// modification time of `from` (and its owner, when keepOwner and allowed).
FileOutcome CopyFileNoReplace(const std::string& from, const std::string& to, bool keepOwner);

// Gives `from` the name `to` unless something has that name: one atomic
// rename where the file system knows how, else a hard link and an unlink.
// errno tells why it failed (EEXIST: the name is taken; EXDEV: another file
// system).
bool RenameNoReplace(const std::string& from, const std::string& to);

// A new file at path with the bytes, flushed to the disk, replacing what
// had the name (a link planted there is replaced, never followed): written
// under a temporary name in the same folder first, so a failure leaves the
// old file whole and nothing new.
bool WriteFileReplacing(const std::string& path, std::string_view bytes);

// The temporary files a copy, a move across file systems or a written file
// makes in its target folder are named ".qel-" and six letters or digits
// (".qel-link-..." for a link). Those of the user that a killed operation
// left behind, older than a minute and held by no running one, are removed
// from the folder; each operation does so before its own.
bool IsLeftoverName(std::string_view name);
void RemoveLeftovers(const std::string& folder);

// Flushes a folder's entries (new and removed names) to the disk.
void SyncFolder(const std::string& folder);

}  // namespace qel
