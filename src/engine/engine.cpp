#include <sys/stat.h>

#include <algorithm>
#include <cmath>

#include "engine/backends.h"
#include "engine/command.h"
#include "engine/device.h"
#include "engine/engine_internal.h"
#include "engine/media_types.h"
#include "engine/smf.h"

namespace qel::engine {

namespace {

constexpr int kErrBadTimeFormat = 293;

const char* ModeText(Mode m) {
  switch (m) {
    case Mode::Playing: return "playing";
    case Mode::Paused: return "paused";
    default: return "stopped";
  }
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A song's length from its tempo map.
std::optional<long long> SongLengthMs(const std::string& path) {
  auto song = ReadSmfFile(path);
  if (!song || song->lengthMs <= 0) return std::nullopt;
  return static_cast<long long>(std::llround(song->lengthMs));
}

// ---- The length probe on "Qel_": no playback at all ----
class ProbeDevice : public Device {
 public:
  ProbeDevice(Engine::Impl* owner, std::string alias, unsigned long long gen, long long length)
      : Device(owner, std::move(alias), gen), length_(length) {}
  Mode CurrentMode() override { return Mode::Stopped; }
  long long LengthMs() override { return length_; }
  long long PositionMs() override { return 0; }
  int Play(std::optional<long long>) override { return kErrUnsupportedFunction; }
  int Pause() override { return 0; }
  int Resume() override { return 0; }
  int Stop() override { return 0; }
  int Seek(long long) override { return 0; }

 private:
  long long length_;
};

}  // namespace

// ---- the interpreter ----

namespace {

// A place past the end of a file with a known length.
bool BeyondLength(Device& d, long long ms) {
  long long length = d.LengthMs();
  return length > 0 && ms > length;
}

}  // namespace

int Engine::Impl::Open(const std::vector<std::string>& w) {
  if (w.size() < 2) return kErrMissingParameter;
  std::string path = w[1];
  std::string alias, type;
  for (size_t i = 2; i < w.size(); ++i) {
    std::string k = Lower(w[i]);
    if (k == "alias" || k == "type" || k == "parent" || k == "style") {
      if (i + 1 >= w.size()) return kErrMissingParameter;
      const std::string& v = w[++i];
      if (k == "alias") alias = v;
      else if (k == "type") type = Lower(v);
      else if (k == "parent" && !ParseInteger(v)) return kErrBadInteger;
    } else if (k == "shareable" || k == "wait" || k == "notify") {
    } else {
      return kErrUnrecognizedKeyword;
    }
  }
  if (path.empty()) return kErrMissingParameter;
  if (alias.empty()) alias = path;
  if (type.empty()) type = Extension(path) == ".mid" ? "sequencer" : "mpegvideo";
  if (type != "sequencer" && type != "mpegvideo") return kErrInvalidDeviceName;
  std::string key = Lower(alias);
  if (devices.count(key)) return kErrDuplicateAlias;
  if (!IsRegularFile(path)) return kErrFileNotFound;

  unsigned long long gen = nextGeneration++;
  if (key == "qel_") {
    // A player that has the file open knows its length from the same
    // demuxer: probing the file again would read it all over.
    std::optional<long long> length;
    for (auto& [k, d] : devices)
      if (d->PlayingPath() == path && d->LengthMs() > 0) length = d->LengthMs();
    // What the engine's own decoders play they measure as they play it,
    // without libavformat's libraries.
    if (!length) length = Extension(path) == ".mid" ? SongLengthMs(path) : DecodedLengthMs(path);
    if (!length)
      if (const PlayerBackend* player = Player()) length = player->probeLengthMs(path);
    if (!length) return kErrInvalidFile;
    devices[key] = std::make_unique<ProbeDevice>(this, alias, gen, *length);
    return 0;
  }
  std::unique_ptr<Device> d;
  int err = kErrDeviceOpen;
  if (type == "sequencer") {
    if (const MidiBackend* midi = Midi()) err = midi->open(this, alias, gen, path, &d);
  } else {
    err = OpenStreamDevice(this, alias, gen, path, &d);
    if (err == kErrUnsupportedFunction) {
      const PlayerBackend* player = SoundServerHung(this) ? nullptr : Player();
      err = player ? player->open(this, alias, gen, path, &d) : kErrDeviceOpen;
    }
  }
  if (err) return err;
  devices[key] = std::move(d);
  return 0;
}

int Engine::Impl::Execute(const std::vector<std::string>& w, std::string* answer) {
  std::string verb = Lower(w[0]);
  if (verb == "open") return Open(w);
  if (verb == "close" && w.size() >= 2 && SameWord(w[1], "all")) {
    std::vector<std::string> keys;
    for (auto& [k, d] : devices) keys.push_back(k);
    for (auto& k : keys) Close(k);
    return 0;
  }
  Device* d = w.size() >= 2 && IsAliasVerb(verb) ? Lookup(w[1]) : nullptr;
  if (!d) return AnswerWithNothingOpen(Words{w, false}).value_or(kErrInvalidDeviceName);
  d->Pump();
  std::vector<std::string> args;
  for (size_t i = 2; i < w.size(); ++i) args.push_back(Lower(w[i]));
  auto at = [&](size_t i) { return i < args.size() ? args[i] : std::string(); };

  if (verb == "close") {
    Close(Lower(w[1]));
    return 0;
  }
  if (verb == "status") {
    std::string item = at(0);
    if (item.empty()) return kErrMissingParameter;
    std::string out;
    if (item == "mode" && args.size() == 1) out = ModeText(d->CurrentMode());
    else if (item == "length" && args.size() == 1) out = std::to_string(d->LengthMs());
    else if (item == "position" && args.size() == 1) out = std::to_string(d->PositionMs());
    else if (item == "ready" && args.size() == 1) out = "true";
    else if (item == "renderer" && args.size() == 1) out = d->Renderer();
    else if (item == "time" && at(1) == "format" && args.size() == 2) out = "milliseconds";
    else return kErrUnrecognizedKeyword;
    if (answer) *answer = out;
    return 0;
  }
  if (verb == "set") {
    if (at(0) == "time" && at(1) == "format" && args.size() == 3) {
      return (at(2) == "milliseconds" || at(2) == "ms") ? 0 : kErrBadTimeFormat;
    }
    if (at(0) == "seek" && at(1) == "exactly" && args.size() == 3) {
      if (at(2) != "on" && at(2) != "off") return kErrBadConstant;
      d->SetExactSeek(at(2) == "on");
      return 0;
    }
    if (at(0) == "port" && args.size() == 2) {
      auto n = ParseInteger(at(1));
      if (!n) return kErrBadInteger;
      return d->SetPort(static_cast<int>(*n));
    }
    return args.empty() ? kErrMissingParameter : kErrUnrecognizedKeyword;
  }
  if (verb == "where") {
    std::string out;
    if (at(0) == "source" && args.size() == 1) out = d->Source();
    else if (at(0) == "destination" && args.size() == 1) out = d->Destination();
    else return args.empty() ? kErrMissingParameter : kErrUnrecognizedKeyword;
    if (answer) *answer = out;
    return 0;
  }
  if (verb == "window") {
    if (at(0) != "handle" || args.size() != 2) return args.empty() ? kErrMissingParameter : kErrUnrecognizedKeyword;
    auto n = ParseInteger(at(1));
    if (!n || *n < 0) return kErrBadInteger;
    return d->SetWindow(static_cast<unsigned>(*n));
  }
  if (verb == "put") {
    if (at(0) != "destination") return args.empty() ? kErrMissingParameter : kErrUnrecognizedKeyword;
    if (args.size() == 1) return d->SetDestination(std::nullopt);
    if (at(1) != "at" || args.size() != 6) return kErrMissingParameter;
    long long v[4];
    for (int i = 0; i < 4; ++i) {
      auto n = ParseInteger(at(2 + i));
      if (!n) return kErrBadInteger;
      v[i] = *n;
    }
    if (v[2] <= 0 || v[3] <= 0 || v[0] + v[2] > INT32_MAX || v[1] + v[3] > INT32_MAX) return kErrOutOfRange;
    return d->SetDestination(Rect{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[0] + v[2]),
                                  static_cast<int>(v[1] + v[3])});
  }
  if (verb == "setaudio") {
    if (at(0) != "volume" || at(1) != "to" || args.size() != 3) return kErrMissingParameter;
    auto n = ParseInteger(at(2));
    if (!n) return kErrBadInteger;
    if (*n < 0 || *n > 1000) return kErrOutOfRange;
    return d->SetVolume(static_cast<int>(*n));
  }
  if (verb == "play") {
    bool notify = false;
    std::optional<long long> from;
    for (size_t i = 0; i < args.size(); ++i) {
      if (args[i] == "notify") notify = true;
      else if (args[i] == "wait") {
      } else if (args[i] == "from" && i + 1 < args.size()) {
        auto n = ParseInteger(args[++i]);
        if (!n || *n < 0) return kErrBadInteger;
        if (BeyondLength(*d, *n)) return kErrOutOfRange;
        from = *n;
      } else return kErrUnrecognizedKeyword;
    }
    if (notify) d->ArmNotify();
    return d->Play(from);
  }
  bool notify = !args.empty() && args.back() == "notify";
  if (notify) args.pop_back();
  int err;
  if (verb == "seek") {
    if (at(0) != "to" || args.size() != 2) return kErrMissingParameter;
    long long target;
    if (at(1) == "start") target = 0;
    else if (at(1) == "end") target = d->LengthMs();
    else {
      auto n = ParseInteger(at(1));
      if (!n) return kErrBadInteger;
      // Refused, as MCI refuses it, without touching the device: what
      // played goes on playing and its notification stays pending.
      if (*n < 0 || BeyondLength(*d, *n)) return kErrOutOfRange;
      target = *n;
    }
    err = d->Seek(target);
  } else {
    if (!args.empty()) return kErrUnrecognizedKeyword;
    if (verb == "pause") err = d->Pause();
    else if (verb == "resume") err = d->Resume();
    else err = d->Stop();
  }
  // A command given with notify reports its own (immediate) completion.
  if (notify && err == 0) {
    d->ArmNotify();
    d->Complete(kNotifySuccessful);
  }
  return err;
}

// ---- Engine ----

Engine::Engine(Poster post) : impl_(std::make_unique<Impl>()) { impl_->post = std::move(post); }

Engine::~Engine() {
  impl_->devices.clear();
  impl_->alive.reset();
}

void Engine::SetNotifyHandler(NotifyHandler handler) { impl_->handler = std::move(handler); }

int Engine::Send(const std::string& command, std::string* answer) {
  if (answer) answer->clear();
  Words words = SplitCommand(command);
  if (words.unclosedQuote || words.items.empty()) return AnswerWithNothingOpen(words).value_or(0);
  return impl_->Execute(words.items, answer);
}

std::vector<std::string> Engine::MidiOutputDevices() {
  const MidiBackend* midi = Midi();
  return midi ? midi->outputs() : std::vector<std::string>{};
}

void Engine::SetMidiOutputVolume(int device, double volume) {
  int index = device < 0 ? 0 : device;
  impl_->midiVolumes[index] = std::clamp(volume, 0.0, 1.0);
  for (auto& [k, d] : impl_->devices)
    if (d->MidiPort() == index) d->SetLevel(volume);
}

void Engine::SetWaveOutputVolume(double volume) {
  impl_->waveVolume = std::clamp(volume, 0.0, 1.0);
  for (auto& [k, d] : impl_->devices)
    if (d->FollowsWaveVolume()) d->SetLevel(volume);
}

void Engine::SetReplayGain(ReplayGain mode) {
  impl_->replayGain = mode;
  for (auto& [k, d] : impl_->devices) d->RefreshVolume();
}

std::vector<std::string> Engine::PlayableExtensions() { return PlayableExtensionList(); }

void Engine::RegisterSurface(unsigned handle, VideoSink* sink) { impl_->surfaces[handle] = sink; }
void Engine::UnregisterSurface(unsigned handle) {
  // What was made in the surface's context goes while the context is there.
  for (auto& [k, d] : impl_->devices)
    if (d->GLSurface() == handle) d->ReleaseRenderer();
  impl_->surfaces.erase(handle);
}

bool Engine::RenderVideo(unsigned handle, int fbo, int width, int height) {
  for (auto& [k, d] : impl_->devices)
    if (handle && d->Surface() == handle) return d->RenderGL(fbo, width, height);
  return false;
}

std::optional<Engine::Frame> Engine::VideoFrame(unsigned handle) {
  for (auto& [k, d] : impl_->devices) {
    if (d->Surface() != handle || !handle) continue;
    auto pic = d->Frame();
    if (!pic) return std::nullopt;
    Rect dest = d->DestinationRect().value_or(Rect{0, 0, pic->width, pic->height});
    return Frame{std::move(*pic), dest};
  }
  return std::nullopt;
}

std::optional<Picture> Engine::CurrentFrame(const std::string& alias) {
  Device* d = impl_->Lookup(alias);
  if (!d) return std::nullopt;
  d->Pump();
  if (d->Source().empty()) return std::nullopt;
  d->Render(true);
  return d->Frame();
}

double Engine::TakeMidiOutputPeak() {
  const MidiBackend* midi = Midi();
  return midi ? midi->takeSynthPeak() : 0.0;
}

std::vector<std::string> Engine::OpenAliases() const {
  std::vector<std::string> out;
  for (auto& [k, d] : impl_->devices) out.push_back(d->Alias());
  return out;
}

}  // namespace qel::engine
