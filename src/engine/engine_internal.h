// The engine's insides, shared by its interpreter (engine.cpp) and its
// devices: one open alias as a Device, and the engine's state that the
// devices report to. Not part of the module's interface. Everything here
// that a device calls is inline, so a device built into a backend module
// of its own (backends.h) needs nothing from the module that loads it.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "engine/command.h"
#include "engine/decoder.h"
#include "engine/device.h"

namespace qel::engine {

class SoundServer;  // the connection to the sound server (sound_output.cpp)
class Output;       // where decoded sound goes (sound_output.h)

enum class Mode { Stopped, Playing, Paused };

// The extension of a path's file name, dot included, in lower case.
inline std::string Extension(const std::string& path) {
  auto dot = path.rfind('.');
  auto slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return Lower(path.substr(dot));
}

// One open alias. Every method runs on the user-interface thread.
class Device {
 public:
  Device(Engine::Impl* owner, std::string alias, unsigned long long generation)
      : owner_(owner), alias_(std::move(alias)), generation_(generation) {}
  virtual ~Device() = default;

  const std::string& Alias() const { return alias_; }
  unsigned long long Generation() const { return generation_; }

  virtual void Pump() {}
  virtual Mode CurrentMode() = 0;
  virtual long long LengthMs() = 0;
  virtual long long PositionMs() = 0;
  virtual int Play(std::optional<long long> from) = 0;
  virtual int Pause() = 0;
  virtual int Resume() = 0;
  virtual int Stop() = 0;
  virtual int Seek(long long ms) = 0;
  // The device volume ("setaudio", 0..1000) and the output volumes of the
  // engine are one level, not factors of each other: whichever was set
  // last is what the device plays at, through the loudness curve once.
  int SetVolume(int volume) {
    SetLevel(volume / 1000.0);
    return 0;
  }
  void SetLevel(double level) {
    level_ = std::clamp(level, 0.0, 1.0);
    RefreshVolume();
  }
  virtual int SetPort(int) { return kErrUnsupportedFunction; }
  // The MIDI output a sequencer plays on; -1 for every other device.
  virtual int MidiPort() const { return -1; }
  virtual void SetExactSeek(bool on) { exactSeek_ = on; }
  virtual std::string Source() { return ""; }
  // The file a player has open, for the length probe to ask it instead.
  virtual std::string PlayingPath() const { return ""; }
  virtual int SetWindow(unsigned) { return kErrUnsupportedFunction; }
  virtual int SetDestination(std::optional<Rect>) { return kErrUnsupportedFunction; }
  virtual std::string Destination() { return ""; }
  virtual std::optional<Picture> Frame() { return std::nullopt; }
  virtual unsigned Surface() const { return 0; }
  virtual std::string Renderer() { return ""; }
  virtual void RefreshVolume() {}
  // Devices that draw pictures (libmpv's) answer these; the rest draw none.
  virtual bool FollowsWaveVolume() const { return false; }
  virtual std::optional<Rect> DestinationRect() const { return std::nullopt; }
  virtual std::optional<unsigned> GLSurface() const { return std::nullopt; }
  virtual bool RenderGL(int /*fbo*/, int /*width*/, int /*height*/) { return false; }
  virtual void ReleaseRenderer() {}
  // Draws the current frame now (forced) or when one is due.
  virtual void Render(bool /*forced*/) {}

  // "play ... notify" bookkeeping: at most one pending notification.
  void ArmNotify();
  void Complete(int code);
  bool NotifyPending() const { return notifyPending_; }
  // Counts the notifications armed so far; an aborted one that a later
  // "play ... notify" has overtaken before delivery says nothing the later
  // one will not (see Deliver).
  unsigned long long NotifySerial() const { return notifySerial_; }

 protected:
  Engine::Impl* owner_;
  std::string alias_;
  unsigned long long generation_;
  bool notifyPending_ = false;
  unsigned long long notifySerial_ = 0;
  bool exactSeek_ = false;
  double level_ = 1.0;
};

struct Engine::Impl {
  // The player of the last file closed, stopped and idle: the next file
  // opens in it in a few ms, where a new player takes tens of ms to load
  // its first file. One is kept, no more; it ends itself (its deleter).
  std::unique_ptr<void, void (*)(void*)> sparePlayer{nullptr, nullptr};
  // Shared by the devices that play through the sound server; made at the
  // first of them and kept.
  std::shared_ptr<SoundServer> soundServer;
  // The output the last file played on: the next one of its rate and
  // channels follows it there without a gap.
  std::shared_ptr<Output> soundOutput;
  ReplayGain replayGain = ReplayGain::Off;
  Engine::Poster post;
  Engine::NotifyHandler handler;
  std::map<std::string, std::unique_ptr<Device>> devices;  // key: lower-case alias
  std::map<unsigned, Engine::VideoSink*> surfaces;
  std::map<int, double> midiVolumes;  // by output index
  double waveVolume = 1.0;
  unsigned long long nextGeneration = 1;
  std::shared_ptr<Impl*> alive = std::make_shared<Impl*>(this);

  Device* FindGeneration(const std::string& key, unsigned long long generation) {
    auto it = devices.find(key);
    return (it != devices.end() && it->second->Generation() == generation) ? it->second.get() : nullptr;
  }

  // Queues a task for the device of this generation; it is skipped when the
  // engine or that device is gone by then.
  void PostToDevice(const std::string& key, unsigned long long generation, std::function<void(Device&)> task) {
    std::weak_ptr<Impl*> weak = alive;
    post([weak, key, generation, task = std::move(task)] {
      auto strong = weak.lock();
      if (!strong) return;
      if (Device* d = (*strong)->FindGeneration(key, generation)) task(*d);
    });
  }

  // An aborted notification whose device has armed a newer one by the time
  // it would arrive is dropped: the newer one reports how playback ended,
  // and a handler that closes a stopped device on "aborted" would otherwise
  // close it just before that report (a seek to the very end, then play).
  void Deliver(const std::string& alias, unsigned long long generation, int code, unsigned long long serial) {
    std::weak_ptr<Impl*> weak = alive;
    std::string key = Lower(alias);
    post([weak, key, alias, generation, code, serial] {
      auto strong = weak.lock();
      if (!strong) return;
      Impl* self = *strong;
      Device* d = self->FindGeneration(key, generation);
      if (!d) return;
      if (code == kNotifyAborted && d->NotifySerial() != serial) return;
      NotifyCurrent current = [weak, key, generation, serial] {
        auto alive = weak.lock();
        if (!alive) return false;
        Device* now = (*alive)->FindGeneration(key, generation);
        return now && now->NotifySerial() == serial;
      };
      if (self->handler) self->handler(code, alias, std::move(current));
    });
  }

  int Execute(const std::vector<std::string>& w, std::string* answer);
  int Open(const std::vector<std::string>& w);
  Device* Lookup(const std::string& alias) {
    auto it = devices.find(Lower(alias));
    return it == devices.end() ? nullptr : it->second.get();
  }
  void Close(const std::string& key) {
    auto it = devices.find(key);
    if (it == devices.end()) return;
    it->second->Complete(kNotifyAborted);
    devices.erase(it);  // the aborted notification above is dropped with it
  }
  double MidiLevel(int index) {
    auto it = midiVolumes.find(index < 0 ? 0 : index);
    return it == midiVolumes.end() ? 1.0 : it->second;
  }
};

inline void Device::ArmNotify() {
  if (notifyPending_) owner_->Deliver(alias_, generation_, kNotifySuperseded, notifySerial_);
  notifyPending_ = true;
  ++notifySerial_;
}

inline void Device::Complete(int code) {
  if (!notifyPending_) return;
  notifyPending_ = false;
  owner_->Deliver(alias_, generation_, code, notifySerial_);
}

// Opens a file as this alias; *out holds the device on success.
using OpenDevice = int (*)(Engine::Impl* owner, const std::string& alias, unsigned long long generation,
                           const std::string& path, std::unique_ptr<Device>* out);

// The OpenDevice of a device type that loads its file itself (Load).
template <typename D>
int LoadDevice(Engine::Impl* owner, const std::string& alias, unsigned long long generation, const std::string& path,
               std::unique_ptr<Device>* out) {
  auto d = std::make_unique<D>(owner, alias, generation);
  if (int err = d->Load(path)) return err;
  *out = std::move(d);
  return 0;
}

// Sampled sound that the engine's own decoders play (MP3, FLAC, Ogg Vorbis
// and Opus, WAV, AIFF), through the sound server. kErrUnsupportedFunction
// when the file or the machine is not for it: libmpv's device then takes
// the file.
int OpenStreamDevice(Engine::Impl* owner, const std::string& alias, unsigned long long generation,
                     const std::string& path, std::unique_ptr<Device>* out);
// Whether the sound server is there but does not answer: libmpv would hang
// on it for good, so a file fails to open instead.
bool SoundServerHung(Engine::Impl* owner);

}  // namespace qel::engine
