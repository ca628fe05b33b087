// What a path names on disk, links followed. An empty path names nothing.
#pragma once

#include <string>

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

}  // namespace qel
