#include "desktop/engine_loader.h"

#include <dlfcn.h>


#include "engine/command.h"
#include "engine/media_types.h"

namespace qel::desktop {

EngineLoader::EngineLoader(std::vector<std::string> modulePaths, engine::Poster post)
    : modulePaths_(std::move(modulePaths)), post_(std::move(post)) {}

// The engine goes before the program ends; its module stays mapped; libmpv
// and its company are not made to be unloaded.
EngineLoader::~EngineLoader() {
  if (preload_.joinable()) preload_.join();
  engine_.reset();
}

void EngineLoader::Preload(std::string_view extension) {
  if (engine_ || tried_ || preload_.joinable()) return;
  // The handles stay open: the engine's own dlopen of the same files then
  // only counts them once more.
  const char* backend = engine::BackendModuleFor(engine::Lower(std::string(extension)));
  preload_ = std::thread([paths = modulePaths_, backend] {
    for (const std::string& path : paths) {
      if (!dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) continue;
      if (backend) dlopen((path.substr(0, path.rfind('/') + 1) + backend).c_str(), RTLD_NOW | RTLD_LOCAL);
      return;
    }
  });
}

std::vector<std::string> EngineLoader::ModulePathsFor(const std::string& executable) {
  const std::string name = QEL_ENGINE_MODULE_NAME;
  const size_t slash = executable.rfind('/');
  std::vector<std::string> paths;
  if (slash != std::string::npos) {
    const std::string dir = executable.substr(0, slash + 1);
    paths.push_back(dir + name);
    paths.push_back(dir + "../" QEL_ENGINE_MODULE_DIR "/" + name);
  }
  paths.push_back(QEL_ENGINE_MODULE_INSTALLED);
  return paths;
}

engine::MediaEngine* EngineLoader::Engine() {
  if (engine_ || tried_) return engine_.get();
  tried_ = true;
  if (preload_.joinable()) preload_.join();
  for (const std::string& path : modulePaths_) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) continue;
    auto factory = reinterpret_cast<engine::ModuleFactory>(dlsym(module, engine::kModuleFactorySymbol));
    engine::MediaEngine* made = factory ? factory(engine::kModuleInterfaceVersion, &post_) : nullptr;
    if (!made) {
      dlclose(module);
      continue;
    }
    engine_.reset(made);
    break;
  }
  if (!engine_) return nullptr;
  if (handler_) engine_->SetNotifyHandler(handler_);
  for (const auto& [handle, sink] : surfaces_) engine_->RegisterSurface(handle, sink);
  for (const auto& [device, volume] : midiVolumes_) engine_->SetMidiOutputVolume(device, volume);
  if (waveVolume_) engine_->SetWaveOutputVolume(*waveVolume_);
  engine_->SetReplayGain(replayGain_);
  return engine_.get();
}

int EngineLoader::Send(const std::string& command, std::string* answer) {
  if (answer) answer->clear();
  if (!engine_) {
    // Nothing can be open yet: only an "open" needs the engine.
    if (auto known = engine::AnswerWithNothingOpen(engine::SplitCommand(command))) return *known;
  }
  if (engine::MediaEngine* e = Engine()) return e->Send(command, answer);
  return engine::kErrDeviceOpen;
}

std::vector<std::string> EngineLoader::MidiOutputDevices() {
  if (engine::MediaEngine* e = Engine()) return e->MidiOutputDevices();
  return {};
}

void EngineLoader::SetMidiOutputVolume(int device, double volume) {
  if (engine_) return engine_->SetMidiOutputVolume(device, volume);
  midiVolumes_[device] = volume;
}

void EngineLoader::SetWaveOutputVolume(double volume) {
  if (engine_) return engine_->SetWaveOutputVolume(volume);
  waveVolume_ = volume;
}

void EngineLoader::SetReplayGain(ReplayGain mode) {
  replayGain_ = mode;
  if (engine_) engine_->SetReplayGain(mode);
}

std::vector<std::string> EngineLoader::PlayableExtensions() { return engine::PlayableExtensionList(); }

void EngineLoader::SetNotifyHandler(engine::NotifyHandler handler) {
  handler_ = std::move(handler);
  if (engine_) engine_->SetNotifyHandler(handler_);
}

void EngineLoader::RegisterSurface(unsigned handle, engine::VideoSink* sink) {
  surfaces_[handle] = sink;
  if (engine_) engine_->RegisterSurface(handle, sink);
}

void EngineLoader::UnregisterSurface(unsigned handle) {
  surfaces_.erase(handle);
  if (engine_) engine_->UnregisterSurface(handle);
}

std::optional<engine::Frame> EngineLoader::VideoFrame(unsigned handle) {
  if (!engine_) return std::nullopt;
  return engine_->VideoFrame(handle);
}

bool EngineLoader::RenderVideo(unsigned handle, int fbo, int width, int height) {
  return engine_ && engine_->RenderVideo(handle, fbo, width, height);
}

std::optional<Picture> EngineLoader::CurrentFrame(const std::string& alias) {
  if (!engine_) return std::nullopt;
  return engine_->CurrentFrame(alias);
}

}  // namespace qel::desktop
