// Where files are, as the file operations compare and place them: folders
// by their identity on disk, the top of a file system, the dust folder.
#pragma once

#include <string>

#include "core/fs/file_kind.h"

namespace qel {

// The path with every link, "." and ".." resolved; empty when it is not
// there.
std::string RealPath(const std::string& path);


// Whether two paths name the same folder on disk (device and inode), however
// they are spelled or linked. False when either cannot be looked at.
bool SameFolder(const std::string& a, const std::string& b);

// The topmost folder of the file system a folder lies on (its mount point),
// found by walking up from the folder's real path while the device stays.
std::string TopOfFileSystem(const std::string& folder);

// The dust folder of a file: "Qel_DUST" in the topmost folder of the file's
// own file system that the user can write to, walking up from the file's
// folder; never above the home folder for a file inside it, nor into a
// folder all users share (sticky, as /tmp). Dusting is then always a rename.
std::string DustFolderOf(const std::string& file, const std::string& home);

// Whether files may be left in a folder: a real folder (not a link), the
// user's own, that no other user can write to (the group only when it is
// the user's own group). Another user's folder, or a link to one, would let
// them take or delete what goes in.
bool IsPrivateFolder(const std::string& path);

// The user's home folder ($HOME, else the password database).
std::string HomeFolder();

}  // namespace qel
