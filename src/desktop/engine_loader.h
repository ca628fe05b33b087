// The media engine, loaded the first time something needs it: a file to
// open or to measure. Until then the loader answers what it can without it
// (nothing is open, what the engine plays) and keeps what the window hands
// it (the notification handler, the video surface, the output volumes) to
// give the engine once it is there.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/module.h"

namespace qel::desktop {

class EngineLoader : public engine::MediaEngine {
 public:
  // modulePaths: the module files tried in order.
  EngineLoader(std::vector<std::string> modulePaths, engine::Poster post);
  ~EngineLoader() override;
  EngineLoader(const EngineLoader&) = delete;
  EngineLoader& operator=(const EngineLoader&) = delete;

  // Where the module is looked for when the program runs from this path:
  // beside it (a copy carried around with its ini), in the build's or the
  // installation's library folder next to its bin folder, and where this
  // build installs it.
  static std::vector<std::string> ModulePathsFor(const std::string& executable);

  bool Loaded() const { return engine_ != nullptr; }

  // Maps the module's libraries on a worker thread, for a start that is
  // about to play: the list is built meanwhile instead of after them. The
  // engine itself is still made on this thread, at its first use. With the
  // extension of the file that will play (dot included), the backend
  // module it needs is mapped too.
  void Preload(std::string_view extension = {});

  // engine::MediaEngine
  using MediaDevice::Send;
  int Send(const std::string& command, std::string* answer) override;
  std::vector<std::string> MidiOutputDevices() override;
  void SetMidiOutputVolume(int device, double volume) override;
  void SetWaveOutputVolume(double volume) override;
  void SetReplayGain(ReplayGain mode) override;
  std::vector<std::string> PlayableExtensions() override;
  void SetNotifyHandler(engine::NotifyHandler handler) override;
  void RegisterSurface(unsigned handle, engine::VideoSink* sink) override;
  void UnregisterSurface(unsigned handle) override;
  std::optional<engine::Frame> VideoFrame(unsigned handle) override;
  bool RenderVideo(unsigned handle, int fbo, int width, int height) override;
  std::optional<Picture> CurrentFrame(const std::string& alias) override;

 private:
  // The engine, loaded at the first call; nullptr when no module loads.
  engine::MediaEngine* Engine();

  std::vector<std::string> modulePaths_;
  engine::Poster post_;
  bool tried_ = false;
  std::thread preload_;
  std::unique_ptr<engine::MediaEngine> engine_;
  engine::NotifyHandler handler_;
  std::map<unsigned, engine::VideoSink*> surfaces_;
  std::map<int, double> midiVolumes_;
  std::optional<double> waveVolume_;
  ReplayGain replayGain_ = ReplayGain::Off;
};

}  // namespace qel::desktop
