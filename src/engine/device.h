// The media engine: a command-string device ("open ...", "status qel mode")
// over libmpv for sampled audio and video, an own Standard MIDI File
// sequencer over FluidSynth or an ALSA sequencer port, and libavformat for
// the quick length probe on the alias "Qel_".
//
// Threading: Send and every other method are called on one thread (the
// user-interface thread). libmpv, FluidSynth and the sequencer run threads of
// their own; whatever they report is handed back through the Poster, so
// notifications and FrameReady calls happen on the user-interface thread.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/platform.h"
#include "engine/command.h"
#include "engine/module.h"

namespace qel::engine {

class Device;  // one open alias (internal)

class Engine : public MediaEngine {
 public:
  using Poster = engine::Poster;
  using NotifyHandler = engine::NotifyHandler;
  using VideoSink = engine::VideoSink;
  using Frame = engine::Frame;

  explicit Engine(Poster post);
  ~Engine() override;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // MediaEngine
  void SetNotifyHandler(NotifyHandler handler) override;
  using MediaDevice::Send;
  int Send(const std::string& command, std::string* answer) override;
  std::vector<std::string> MidiOutputDevices() override;
  void SetMidiOutputVolume(int device, double volume) override;
  void SetWaveOutputVolume(double volume) override;
  void SetReplayGain(ReplayGain mode) override;
  std::vector<std::string> PlayableExtensions() override;
  void RegisterSurface(unsigned handle, VideoSink* sink) override;
  void UnregisterSurface(unsigned handle) override;
  std::optional<Frame> VideoFrame(unsigned handle) override;
  bool RenderVideo(unsigned handle, int fbo, int width, int height) override;
  std::optional<qel::Picture> CurrentFrame(const std::string& alias) override;

  // Peak sample level (0..1) that the built-in synthesizer has produced
  // since the last call; a level meter and a check that MIDI is audible.
  double TakeMidiOutputPeak();

  // Aliases currently open, for tools that close everything at exit.
  std::vector<std::string> OpenAliases() const;

  struct Impl;  // the engine's internals, defined beside the devices

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace qel::engine
