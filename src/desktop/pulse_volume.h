// The volume of the default sound output (the default sink of a PulseAudio
// server, or of PipeWire's pulse server), as a fraction 0.0 to 1.0.
#pragma once

#include <chrono>
#include <optional>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_operation;

namespace qel::desktop {

// One connection, kept for the life of the object and served by libpulse's
// own thread, so that the many calls of a slider drag do not each connect.
// Every call runs on the caller's thread and returns within `timeout`: the
// user-interface thread calls it, and a missing or stuck server must never
// freeze the window. A server is found the way libpulse finds one
// (PULSE_SERVER, PULSE_RUNTIME_PATH, XDG_RUNTIME_DIR, client.conf) and never
// started: a player must not leave a sound server behind.
class PulseVolume {
 public:
  // A server that lets `timeout` pass (connecting or answering) is left
  // alone for `quiet`: calls answer nothing at once meanwhile, so a stuck
  // server costs a slider drag one wait, not one per step. A server that is
  // simply absent is tried again at every call, which costs little more
  // than a failed connect(), so one that starts later is found at once.
  explicit PulseVolume(std::chrono::milliseconds timeout = std::chrono::milliseconds(250),
                       std::chrono::milliseconds quiet = std::chrono::seconds(5));
  ~PulseVolume();
  PulseVolume(const PulseVolume&) = delete;
  PulseVolume& operator=(const PulseVolume&) = delete;

  // The default sink's volume: its loudest channel, PA_VOLUME_NORM as 1.0,
  // anything louder as 1.0. Nothing without a server or a default sink.
  std::optional<double> Volume();

  // Gives every channel of the default sink the same volume (clamped to
  // 0..1; NaN is ignored). False when no server took it.
  bool SetVolume(double volume);

 private:
  struct Call;
  bool StartLoop();
  bool Connect(Call& call);
  bool Finish(Call& call, pa_operation* operation);
  void Drop();
  void GoQuiet();

  std::chrono::milliseconds timeout_;
  std::chrono::milliseconds quiet_;
  std::chrono::steady_clock::time_point quietUntil_{};
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  bool loopFailed_ = false;
};

}  // namespace qel::desktop
