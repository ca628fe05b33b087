// What a path names on disk, links followed. An empty path names nothing.
#pragma once

#include <string>
#include <string_view>

namespace qel {

bool IsRegularFile(const std::string& path);
bool IsFolder(const std::string& path);
bool IsFileOrFolder(const std::string& path);

// A file's size and modification time: what tells a file replaced under its
// name from the one that was there. Size -1 for a path that names nothing.
struct FileStamp {
  long long size = -1;
  long long mtimeNs = 0;
  bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const std::string& path);

// The folder that dusted files go to. Where it has to stand inside a folder
// the player lists (below a shared sticky folder), the folder scans pass it
// by, so dusted files never come back into the list.
inline constexpr std::string_view kDustFolderName = "Qel_DUST";

}  // namespace qel
