// Real folders for the file operations: a temporary tree with named files,
// small tmpfs mounts standing in for other drives, and a player over them
// whose device plays like a real one.
#pragma once

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <filesystem>
#include <string>
#include <vector>

#include "../playback/harness.h"
#include "core/app/commands.h"
#include "fakes/fakes.h"
#include "fakes/files.h"

namespace qel::test {

namespace fs = std::filesystem;

// A tmpfs mounted for the life of the object (lazily unmounted, so that a
// failing test never leaves it behind busy).
struct Tmpfs {
  std::string path;
  std::string why;  // why it could not be mounted
  Tmpfs(const std::string& at, const std::string& options) : path(at) {
    fs::create_directories(at);
    if (::mount("tmpfs", at.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      why = std::strerror(errno);
      path.clear();
    }
  }
  ~Tmpfs() {
    if (!path.empty()) ::umount2(path.c_str(), MNT_DETACH);
  }
  bool ReadOnly() { return ::mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0; }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

#define QEL_NEED_MOUNT(tmpfs)                                                                             \
  if ((tmpfs).path.empty())                                                                               \
  GTEST_SKIP() << "mounting a tmpfs is not permitted here (" << (tmpfs).why                               \
               << "); the file-system fault tests need root or CAP_SYS_ADMIN"

inline std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A player whose list holds real files of a music folder, named as given,
// each holding its own name as its bytes.
struct FilePlayer : FakePlayer {
  TempDir root;
  std::string music = root / "music";
  DeviceModel model;

  explicit FilePlayer(const std::vector<std::string>& names) {
    device.responder = [this](const std::string& c, FakeDevice::Reply& r) { return model.Answer(c, r); };
    for (size_t i = 0; i < names.size(); ++i) {
      WriteAll(music + "/" + names[i], names[i]);
      state.entries.push_back({music + "/" + names[i], "", static_cast<int32_t>(i)});
      window.rows.push_back(names[i]);
    }
    state.lastIndex = static_cast<int32_t>(names.size()) - 1;
    state.currentIndex = names.empty() ? -1 : 0;
  }
  // Plays the entry through the play command.
  void Play(int index) {
    state.currentIndex = index;
    window.selected.clear();
    Command(1004);
  }
  void Command(int command) { qel::HandleCommand(state, command, 0); }
  void Select(std::set<int> rows) { window.selected = std::move(rows); }
  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (const ListEntry& e : state.entries) out.push_back(e.path.substr(e.path.rfind('/') + 1));
    return out;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& m : window.messages) out.push_back(m.text);
    return out;
  }
};

}  // namespace qel::test
