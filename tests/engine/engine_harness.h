// What the engine tests share: a user-interface thread of the test's own that
// runs what the engine posts, the sound output a run plays to (libmpv's null
// output or a private PulseAudio daemon with a null sink), media made at test
// time, and a player core driving the real engine.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../desktop/private_pulse.h"
#include "core/playback/device.h"
#include "core/playback/order.h"
#include "core/playback/position.h"
#include "engine/device.h"
#include "fakes/fakes.h"
#include "fakes/files.h"

namespace qel::test {

using Clock = std::chrono::steady_clock;

// Where the engine's sound goes for one test: "null" (libmpv's null output,
// the synthesizer rendering into nothing) or "pulse" (a PulseAudio daemon of
// the test's own, whose null sink consumes sound in real time as a sound
// card would). The machine's and the user's sound servers are never reached.
class AudioOutput {
 public:
  explicit AudioOutput(const std::string& kind) : kind_(kind) {
    setenv("QEL_AUDIO_OUTPUT", kind.c_str(), 1);
    if (kind != "pulse") return;
    pulse_ = std::make_unique<PrivatePulse>(folder_.path);
    setenv("HOME", (folder_.path + "/home").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", pulse_->RuntimeDir().c_str(), 1);
    setenv("PULSE_RUNTIME_PATH", pulse_->RuntimeDir().c_str(), 1);
    setenv("PULSE_SERVER", pulse_->Server().c_str(), 1);
    started_ = pulse_->Start(&error_);
  }
  // The daemon is installed with the rest (scripts/bootstrap): one that does
  // not start is a failure of the setup, never a reason to skip.
  bool Ready() const { return kind_ != "pulse" || started_; }
  const std::string& Error() const { return error_; }
  PrivatePulse* Pulse() { return pulse_.get(); }

 private:
  std::string kind_;
  TempDir folder_;
  std::unique_ptr<PrivatePulse> pulse_;
  bool started_ = false;
  std::string error_;
};

// The engine with the test as its user-interface thread: tasks it posts run
// inside Run and RunUntil, in order.
struct EngineLoop {
  std::mutex mutex;
  std::deque<std::function<void()>> tasks;
  std::vector<std::pair<int, std::string>> notes;
  // Called every 100 ms of Run and RunUntil (the player's timer 1).
  std::function<void()> tick;
  Clock::time_point nextTick = Clock::now();
  engine::Engine engine{[this](std::function<void()> t) {
    std::lock_guard l(mutex);
    tasks.push_back(std::move(t));
  }};

  EngineLoop() {
    engine.SetNotifyHandler(
        [this](int code, const std::string& alias, engine::NotifyCurrent) { notes.push_back({code, alias}); });
  }

  // Runs posted tasks (and ticks) until done() holds or ms have passed;
  // answers done().
  bool RunUntil(const std::function<bool()>& done, int ms) {
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      if (done && done()) return true;
      if (Clock::now() >= end) return done ? done() : true;
      std::function<void()> t;
      {
        std::lock_guard l(mutex);
        if (!tasks.empty()) {
          t = std::move(tasks.front());
          tasks.pop_front();
        }
      }
      if (t) {
        t();
      } else if (tick && Clock::now() >= nextTick) {
        nextTick = Clock::now() + std::chrono::milliseconds(100);
        tick();
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
  }
  void Run(int ms) { RunUntil(nullptr, ms); }

  std::string Ask(const std::string& cmd, int* err = nullptr) {
    std::string a;
    int e = engine.Send(cmd, &a);
    if (err) *err = e;
    return a;
  }
  long long Number(const std::string& cmd) { return std::atoll(Ask(cmd).c_str()); }
};

// 16-bit mono PCM WAV of exactly `ms` milliseconds (8 kHz) of a square wave.
inline void WriteWav(const std::string& p, int ms) {
  const int rate = 8000, n = rate * ms / 1000;
  std::ofstream o(p, std::ios::binary);
  auto u32 = [&](uint32_t v) { o.write(reinterpret_cast<char*>(&v), 4); };
  auto u16 = [&](uint16_t v) { o.write(reinterpret_cast<char*>(&v), 2); };
  o.write("RIFF", 4); u32(36 + n * 2); o.write("WAVEfmt ", 8); u32(16); u16(1); u16(1); u32(rate);
  u32(rate * 2); u16(2); u16(16); o.write("data", 4); u32(n * 2);
  for (int i = 0; i < n; ++i) u16((i / 10) % 2 ? 8000 : static_cast<uint16_t>(-8000));
}

// Runs ffmpeg quietly with the arguments given; true when it made `output`.
inline bool Ffmpeg(const std::string& arguments, const std::string& output) {
  std::string command = "ffmpeg -nostdin -v error -y " + arguments + " '" + output + "' 2>&1";
  return std::system(command.c_str()) == 0 && std::filesystem::exists(output);
}

// The player's core with the real engine as its media device, a fake window
// and desktop, and the list holding real files. Notifications reach
// OnPlaybackNotify and the 100 ms timer runs OnPositionTimer while the window's
// timer is on, as in the program.
struct EnginePlayer : FakePlayer {
  explicit EnginePlayer(const std::vector<std::string>& paths) {
    state.platform.device = &loop.engine;
    state.volume = 1000;
    for (size_t i = 0; i < paths.size(); ++i) {
      state.entries.push_back({paths[i], "", static_cast<int>(i)});
      window.rows.push_back(std::filesystem::path(paths[i]).filename().string());
    }
    state.lastIndex = static_cast<int>(paths.size()) - 1;
    state.currentIndex = paths.empty() ? -1 : 0;
    loop.engine.SetNotifyHandler([this](int code, const std::string&, engine::NotifyCurrent) {
      codes.push_back(code);
      OnPlaybackNotify(state, code);
    });
    loop.tick = [this] {
      if (window.timerRunning) OnPositionTimer(state);
    };
  }
  ~EnginePlayer() { loop.engine.Send("close all"); }

  // Plays entry i as a double click would, with the slider set up for it.
  void PlayIndex(int i) {
    state.currentIndex = i;
    ListEntry entry = state.entries[i];
    PlayEntry(state, entry, i, state.lastIndex);
    RefreshPositionDisplay(state);
  }
  std::string Mode() { return DeviceMode(state); }
  long long PositionMs() { return loop.Number("status " + state.mciAlias + " position"); }
  // True once entry i is the current one and playing.
  bool Playing(int i) { return state.currentIndex == i && Mode() == "playing"; }

  EngineLoop loop;
  std::vector<int> codes;  // every notification the core was given
};

}  // namespace qel::test
