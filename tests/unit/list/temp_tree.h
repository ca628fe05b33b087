// A real folder tree under a fresh temporary directory, removed afterwards.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/state.h"

namespace qel::test {

class TempTree {
 public:
  TempTree() {
    char pattern[] = "/tmp/qel-list-XXXXXX";
    const char* made = mkdtemp(pattern);
    root = made ? made : "";
  }
  ~TempTree() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  std::string Path(const std::string& relative) const { return relative.empty() ? root : root + "/" + relative; }

  std::string File(const std::string& relative, const std::string& content = {}) {
    std::string path = Path(relative);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  std::string Dir(const std::string& relative) {
    std::string path = Path(relative);
    std::filesystem::create_directories(path);
    return path;
  }

  // Entry paths relative to the root, in list order.
  std::vector<std::string> Names(const AppState& state) const {
    std::vector<std::string> out;
    for (const ListEntry& e : state.entries)
      out.push_back(e.path.compare(0, root.size() + 1, root + "/") == 0 ? e.path.substr(root.size() + 1) : e.path);
    return out;
  }

  std::string root;
};

}  // namespace qel::test
