// A player over real files in a fresh temporary folder, with the fake
// device answering like a device that opens, plays, pauses and closes.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fakes/fakes.h"

namespace qel::test {

class MediaFolder {
 public:
  MediaFolder() {
    std::string templ = (std::filesystem::temp_directory_path() / "qel-playback-XXXXXX").string();
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path = templ;
  }
  ~MediaFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  MediaFolder(const MediaFolder&) = delete;
  MediaFolder& operator=(const MediaFolder&) = delete;

  std::string Touch(const std::string& name) {
    std::string file = path + "/" + name;
    std::ofstream(file, std::ios::binary) << "x";
    return file;
  }

  std::string path;
};

// The device as a little state machine over the commands the core sends.
struct DeviceModel {
  std::string alias = "qel";
  std::string mode;  // "" when nothing is open
  std::string openPath;
  long long positionMs = 0;
  std::set<std::string> unplayable;  // open fails
  std::set<std::string> pictures;    // "where ... source" answers a rectangle
  std::map<std::string, long long> lengthMs;
  long long defaultLengthMs = 95000;
  std::vector<std::string> attempts;  // every path an open was tried for

  static std::string QuotedPath(const std::string& command) {
    auto first = command.find('"');
    auto last = command.rfind('"');
    if (first == std::string::npos || last == first) return {};
    std::string path;
    for (size_t i = first + 1; i < last; ++i) {
      path += command[i];
      if (command[i] == '"') ++i;  // written twice inside the quotes
    }
    return path;
  }

  bool Answer(const std::string& c, FakeDevice::Reply& reply) {
    const std::string a = alias;
    if (c.rfind("open \"", 0) == 0 && c.find("\" alias " + a + " ") != std::string::npos) {
      std::string p = QuotedPath(c);
      attempts.push_back(p);
      if (unplayable.count(p)) {
        reply.error = 263;
        return true;
      }
      mode = "stopped";
      openPath = p;
      positionMs = 0;
      return true;
    }
    if (c == "status " + a + " mode") {
      reply.answer = mode;
      return true;
    }
    if (mode.empty()) {
      if (c.rfind("status " + a, 0) == 0 || c.rfind("where " + a, 0) == 0) reply.error = 263;
      return c.find(" " + a) != std::string::npos;
    }
    if (c == "status " + a + " length") {
      auto it = lengthMs.find(openPath);
      reply.answer = std::to_string(it == lengthMs.end() ? defaultLengthMs : it->second);
    } else if (c == "status " + a + " position") {
      reply.answer = std::to_string(positionMs);
    } else if (c == "where " + a + " source") {
      if (pictures.count(openPath)) reply.answer = "0 0 640 360";
    } else if (c == "play " + a + "  notify" || c == "play " + a + " notify" || c == "resume " + a) {
      mode = "playing";
    } else if (c == "pause " + a) {
      mode = "paused";
    } else if (c == "stop " + a) {
      mode = "stopped";
    } else if (c == "close " + a) {
      mode.clear();
      openPath.clear();
    } else if (c.rfind("seek " + a + " to ", 0) == 0) {
      positionMs = std::atoll(c.c_str() + ("seek " + a + " to ").size());
    }
    return true;
  }
};

// A player whose list holds `count` real files named 0.mp3, 1.mp3 ...
struct MediaPlayer : FakePlayer {
  explicit MediaPlayer(int count, const std::string& extension = ".mp3") {
    device.responder = [this](const std::string& c, FakeDevice::Reply& r) { return model.Answer(c, r); };
    state.volume = 500;
    for (int i = 0; i < count; ++i) {
      std::string name = std::to_string(i) + extension;
      state.entries.push_back({folder.Touch(name), "", i});
      window.rows.push_back(name);
    }
    state.lastIndex = count - 1;
    state.currentIndex = count > 0 ? 0 : -1;
  }

  std::string Path(int i) const { return state.entries.at(i).path; }
  // The index of the entry that is open on the device, or -1.
  int OpenIndex() const {
    for (size_t i = 0; i < state.entries.size(); ++i)
      if (state.entries[i].path == model.openPath) return static_cast<int>(i);
    return -1;
  }
  // Indices of the entries an open was tried for, in order.
  std::vector<int> Attempts() const {
    std::vector<int> out;
    for (const auto& p : model.attempts)
      for (size_t i = 0; i < state.entries.size(); ++i)
        if (state.entries[i].path == p) out.push_back(static_cast<int>(i));
    return out;
  }
  int MessageCount(const std::string& text) const {
    int n = 0;
    for (const auto& m : window.messages) n += m.text == text;
    return n;
  }

  MediaFolder folder;
  DeviceModel model;
};

}  // namespace qel::test
