// What a path names on disk, links followed. An empty path names nothing.
#pragma once

#include <string>

namespace qel {

bool IsRegularFile(const std::string& path);
bool IsFolder(const std::string& path);
bool IsFileOrFolder(const std::string& path);

}  // namespace qel
