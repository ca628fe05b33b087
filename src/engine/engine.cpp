#include <mpv/client.h>
#include <mpv/render.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>

#include "engine/command.h"
#include "engine/device.h"
#include "engine/gl_render.h"
#include "engine/loudness.h"
#include "engine/media_types.h"
#include "engine/midi.h"
#include "engine/probe.h"
#include "engine/smf.h"

namespace qel::engine {

namespace {

constexpr int kErrBadTimeFormat = 293;
constexpr double kOpenBoundSeconds = 5.0;
// The largest frame ever drawn, about a 4K screen. A destination (the
// default one is the size the file states) may be larger: the frame is then
// drawn smaller in its shape and the pane stretches it over the destination,
// so no buffer is ever sized by a number read from a file.
constexpr long long kMaxFramePixels = 3840LL * 2160;

enum class Mode { Stopped, Playing, Paused };

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

std::string Extension(const std::string& path) {
  auto dot = path.rfind('.');
  auto slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return Lower(path.substr(dot));
}

}  // namespace

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
  virtual void SetExactSeek(bool on) { exactSeek_ = on; }
  virtual std::string Source() { return ""; }
  virtual int SetWindow(unsigned) { return kErrUnsupportedFunction; }
  virtual int SetDestination(std::optional<Rect>) { return kErrUnsupportedFunction; }
  virtual std::string Destination() { return ""; }
  virtual std::optional<Picture> Frame() { return std::nullopt; }
  virtual unsigned Surface() const { return 0; }
  virtual std::string Renderer() { return ""; }
  virtual void RefreshVolume() {}

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

void Device::ArmNotify() {
  if (notifyPending_) owner_->Deliver(alias_, generation_, kNotifySuperseded, notifySerial_);
  notifyPending_ = true;
  ++notifySerial_;
}

void Device::Complete(int code) {
  if (!notifyPending_) return;
  notifyPending_ = false;
  owner_->Deliver(alias_, generation_, code, notifySerial_);
}

namespace {

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

// ---- sequencer: own SMF player ----
class MidiDevice : public Device {
 public:
  MidiDevice(Engine::Impl* owner, std::string alias, unsigned long long gen)
      : Device(owner, std::move(alias), gen) {}
  // Only the song is read here. The output is chosen later: "set ... port"
  // names it, and a device that plays without one takes the built-in
  // synthesizer. So a song meant for an ALSA port never needs the
  // synthesizer's SoundFont, and opening one costs no SoundFont load.
  int Load(const std::string& path) {
    auto song = ReadSmfFile(path);
    if (!song || song->lengthMs <= 0) return kErrInvalidFile;
    if (!AnyMidiOutput()) return kErrDeviceOpen;
    Engine::Impl* owner = owner_;
    std::string key = Lower(alias_);
    unsigned long long gen = generation_;
    sequencer_ = std::make_unique<Sequencer>(std::move(*song), nullptr, [owner, key, gen] {
      // The end is reported from the sequencer's thread; the rest happens on
      // the user-interface thread.
      owner->PostToDevice(key, gen, [](Device& d) { static_cast<MidiDevice&>(d).Ended(); });
    });
    level_ = owner_->MidiLevel(port_);
    return 0;
  }
  void Ended() {
    if (mode_ != Mode::Playing) return;
    mode_ = Mode::Stopped;
    Complete(kNotifySuccessful);
  }
  void Pump() override {
    if (mode_ == Mode::Playing && sequencer_->AtEnd()) Ended();
  }
  Mode CurrentMode() override { return mode_; }
  long long LengthMs() override { return std::llround(sequencer_->LengthMs()); }
  long long PositionMs() override { return std::llround(sequencer_->PositionMs()); }
  int Play(std::optional<long long> from) override {
    if (!output_ && !UseDefaultOutput()) return kErrHardware;
    if (from) sequencer_->Seek(static_cast<double>(*from));
    if (sequencer_->PositionMs() >= sequencer_->LengthMs()) {
      mode_ = Mode::Stopped;
      Complete(kNotifySuccessful);
      return 0;
    }
    sequencer_->Play();
    mode_ = Mode::Playing;
    return 0;
  }
  int Pause() override {
    if (mode_ == Mode::Playing) {
      sequencer_->Pause();
      mode_ = Mode::Paused;
    }
    return 0;
  }
  int Resume() override {
    if (mode_ == Mode::Paused) {
      sequencer_->Play();
      mode_ = Mode::Playing;
    }
    return 0;
  }
  int Stop() override {
    sequencer_->Pause();
    mode_ = Mode::Stopped;
    Complete(kNotifyAborted);
    return 0;
  }
  int Seek(long long ms) override {
    sequencer_->Seek(static_cast<double>(ms));
    mode_ = Mode::Stopped;
    Complete(kNotifyAborted);
    return 0;
  }
  int SetPort(int port) override {
    auto out = OpenMidiOutput(port);
    if (!out) return kErrOutOfRange;
    UseOutput(port, std::move(out));
    return 0;
  }
  int Port() const { return port_; }
  void RefreshVolume() override {
    if (output_) output_->SetVolume(LoudnessGain(level_));
  }

 private:
  // The synthesizer, or the first ALSA port when it cannot start (no
  // SoundFont): the route a song takes when no port was named.
  bool UseDefaultOutput() {
    for (int port : {0, 1}) {
      if (auto out = OpenMidiOutput(port)) {
        UseOutput(port, std::move(out));
        return true;
      }
    }
    return false;
  }
  void UseOutput(int port, std::shared_ptr<MidiOutput> out) {
    port_ = port;
    output_ = std::move(out);
    RefreshVolume();
    sequencer_->SetOutput(output_);
  }

  std::shared_ptr<MidiOutput> output_;
  std::unique_ptr<Sequencer> sequencer_;
  Mode mode_ = Mode::Stopped;
  int port_ = 0;
};

// ---- mpegvideo: one libmpv player ----
class MpvDevice : public Device {
 public:
  MpvDevice(Engine::Impl* owner, std::string alias, unsigned long long gen)
      : Device(owner, std::move(alias), gen), link_(std::make_shared<Link>()) {}
  ~MpvDevice() override {
    {
      std::lock_guard lock(link_->mutex);
      link_->device = nullptr;
    }
    if (Engine::VideoSink* sink = Sink()) sink->Placed({}, false, false);
    ReleaseRenderer();
    if (mpv_) mpv_terminate_destroy(mpv_);
    std::free(buffer_);
  }

  int Load(const std::string& path) {
    mpv_ = mpv_create();
    if (!mpv_) return kErrDeviceOpen;
    const char* ao = std::getenv("QEL_AUDIO_OUTPUT");
    if (ao && *ao) mpv_set_option_string(mpv_, "ao", ao);
    const std::pair<const char*, const char*> options[] = {
        {"vo", "libmpv"},        {"keep-open", "yes"},     {"pause", "yes"},
        {"idle", "yes"},         {"audio-display", "no"},  {"terminal", "no"},
        {"config", "no"},        {"load-scripts", "no"},   {"ytdl", "no"},
        {"input-default-bindings", "no"}, {"osc", "no"},   {"sub-auto", "no"},
        {"audio-file-auto", "no"}, {"resume-playback", "no"}, {"hwdec", "no"},
        {"sw-fast", "yes"},
        // One file at a time: without this libmpv reports the end as soon as
        // the last sound is queued, up to half a second before it is heard.
        {"gapless-audio", "no"},
    };
    for (const auto& [name, value] : options) mpv_set_option_string(mpv_, name, value);
    if (mpv_initialize(mpv_) < 0) return kErrDeviceOpen;
    // libmpv's video output needs its renderer before the file loads.
    MakeRenderer(MayShowPicture(path));

    mpv_observe_property(mpv_, 1, "eof-reached", MPV_FORMAT_FLAG);
    // libmpv has been seen to reach the end without announcing eof-reached
    // (with gapless audio, a paused seek into a file cut short under the
    // player); it pauses itself there, so watching the pause wakes us, and
    // the flag is read again whenever the device is asked.
    mpv_observe_property(mpv_, 2, "pause", MPV_FORMAT_FLAG);
    const char* cmd[] = {"loadfile", path.c_str(), nullptr};
    if (mpv_command(mpv_, cmd) < 0) return kErrInvalidFile;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(kOpenBoundSeconds);
    bool loaded = false;
    while (!loaded) {
      double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) return kErrInvalidFile;
      mpv_event* ev = mpv_wait_event(mpv_, left);
      if (ev->event_id == MPV_EVENT_FILE_LOADED) loaded = true;
      else if (ev->event_id == MPV_EVENT_END_FILE) return kErrInvalidFile;
      else if (ev->event_id == MPV_EVENT_SHUTDOWN) return kErrInvalidFile;
    }
    if (DoubleProperty("duration").value_or(0) <= 0 && !HasTrack("audio") && !HasTrack("video"))
      return kErrInvalidFile;
    // Some containers do not state the picture's size (MPEG-4 part 2 in
    // MP4); it is known once the first frame is decoded, which libmpv does
    // at once, paused or not. "where ... source" is asked right after open.
    auto pictureDeadline = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::duration<double>(1.0));
    while (HasTrack("video") && !IntProperty("current-tracks/video/image").value_or(0) && SourceSize().first <= 0) {
      double left = std::chrono::duration<double>(pictureDeadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;  // a picture that does not decode: sound only
      mpv_event* ev = mpv_wait_event(mpv_, std::min(left, 0.05));
      if (ev->event_id == MPV_EVENT_END_FILE || ev->event_id == MPV_EVENT_SHUTDOWN) return kErrInvalidFile;
    }

    link_->device = this;
    link_->post = [owner = owner_, key = Lower(alias_), gen = generation_](std::function<void(MpvDevice&)> f) {
      owner->PostToDevice(key, gen, [f](Device& d) { f(static_cast<MpvDevice&>(d)); });
    };
    mpv_set_wakeup_callback(mpv_, &MpvDevice::OnWakeup, link_.get());
    if (render_) mpv_render_context_set_update_callback(render_, &MpvDevice::OnRenderUpdate, link_.get());
    level_ = owner_->waveVolume;
    RefreshVolume();
    return 0;
  }

  void Pump() override {
    while (mpv_) {
      mpv_event* ev = mpv_wait_event(mpv_, 0);
      if (ev->event_id == MPV_EVENT_NONE) break;
      Handle(ev);
    }
    if (mode_ == Mode::Playing && EofReached()) Ended(kNotifySuccessful);
  }

  Mode CurrentMode() override { return mode_; }
  long long LengthMs() override { return std::llround(DoubleProperty("duration").value_or(0) * 1000.0); }
  long long PositionMs() override {
    if (seekTarget_) return *seekTarget_;
    if (eof_) return LengthMs();  // the end leaves the position at the length
    // The player's clock settles a moment after a pause; a paused or stopped
    // device must answer one position until it moves again.
    if (frozen_) return *frozen_;
    long long pos = std::llround(DoubleProperty("time-pos").value_or(0) * 1000.0);
    return std::clamp(pos, 0LL, std::max(0LL, LengthMs()));
  }
  int Play(std::optional<long long> from) override {
    if (from) SeekTo(*from);
    if (lost_ || eof_ || EofReached() || (LengthMs() > 0 && PositionMs() >= LengthMs())) {
      mode_ = Mode::Stopped;
      Complete(lost_ ? kNotifyFailure : kNotifySuccessful);
      return 0;
    }
    if (!seekPending_) seekTarget_.reset();
    frozen_.reset();
    SetFlag("pause", false);
    mode_ = Mode::Playing;
    return 0;
  }
  int Pause() override {
    if (mode_ == Mode::Playing) {
      SetFlag("pause", true);
      frozen_ = PositionMs();
      mode_ = Mode::Paused;
    }
    return 0;
  }
  int Resume() override {
    if (mode_ == Mode::Paused && (lost_ || EofReached())) {
      mode_ = Mode::Stopped;
      Complete(lost_ ? kNotifyFailure : kNotifySuccessful);
      return 0;
    }
    if (mode_ == Mode::Paused) {
      if (!seekPending_) seekTarget_.reset();
      frozen_.reset();
      SetFlag("pause", false);
      mode_ = Mode::Playing;
    }
    return 0;
  }
  int Stop() override {
    SetFlag("pause", true);
    if (mode_ == Mode::Playing) frozen_ = PositionMs();
    mode_ = Mode::Stopped;
    Complete(kNotifyAborted);
    return 0;
  }
  int Seek(long long ms) override {
    SetFlag("pause", true);
    mode_ = Mode::Stopped;
    Complete(kNotifyAborted);
    SeekTo(ms);
    return 0;
  }
  void RefreshVolume() override {
    // libmpv cubes its volume percentage into an amplitude; hand it the
    // cube root so the amplitude is the loudness curve's own.
    double percent = 100.0 * std::cbrt(LoudnessGain(level_));
    if (mpv_) mpv_set_property(mpv_, "volume", MPV_FORMAT_DOUBLE, &percent);
  }
  std::string Source() override {
    auto [w, h] = SourceSize();
    if (w <= 0 || h <= 0) return "";
    return "0 0 " + std::to_string(w) + " " + std::to_string(h);
  }
  int SetWindow(unsigned handle) override {
    surface_ = handle;
    if (!destination_) {
      Rect r = SourceRect();
      if (r.Width() > 0 && r.Height() > 0) destination_ = r;
    }
    Placed();
    Render(true);
    return 0;
  }
  int SetDestination(std::optional<Rect> rect) override {
    if (rect) {
      if (rect->Width() <= 0 || rect->Height() <= 0) return kErrOutOfRange;
      destination_ = rect;
    } else {
      destination_ = SourceRect();
    }
    Placed();
    Render(true);
    return 0;
  }
  std::string Destination() override {
    Rect r = destination_.value_or(SourceRect());
    return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.Width()) + " " +
           std::to_string(r.Height());
  }
  std::optional<Picture> Frame() override {
    if (frame_.Empty()) return std::nullopt;
    return frame_;
  }
  std::optional<Rect> DestinationRect() const { return destination_; }
  unsigned Surface() const override { return surface_; }
  std::string Renderer() override {
    if (!render_) return "";
    return glSurface_ ? "opengl" : "software";
  }

  // The frame for an OpenGL surface's paint.
  bool RenderGL(int fbo, int width, int height) {
    return glSurface_ && RenderGLFrame(render_, fbo, width, height);
  }

  // Lets go of the renderer, in the context it was made in; the picture
  // stops with it.
  void ReleaseRenderer() {
    if (!render_) return;
    Engine::VideoSink* gl = glSurface_ ? SinkOf(*glSurface_) : nullptr;
    const bool current = gl && gl->MakeGLCurrent();
    mpv_render_context_free(render_);
    if (current) gl->DoneGLCurrent();
    render_ = nullptr;
    glSurface_.reset();
  }
  std::optional<unsigned> GLSurface() const { return glSurface_; }

  // Draws the current video frame at the destination size. forced: draw
  // even when libmpv has not announced a new frame (size changes).
  void Render(bool forced) {
    if (!render_ || glSurface_) return;
    uint64_t flags = mpv_render_context_update(render_);
    if (!(flags & MPV_RENDER_UPDATE_FRAME) && !forced) return;
    auto [w, h] = FrameSize(destination_.value_or(SourceRect()));
    if (w <= 0 || h <= 0) return;
    size_t stride = (static_cast<size_t>(w) * 4 + 63) / 64 * 64;
    size_t need = stride * h;
    if (need > bufferSize_) {
      std::free(buffer_);
      buffer_ = std::aligned_alloc(64, need);
      bufferSize_ = buffer_ ? need : 0;
      if (!buffer_) return;
    }
    int size[2] = {w, h};
    char format[] = "bgr0";
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SW_SIZE, size},
        {MPV_RENDER_PARAM_SW_FORMAT, format},
        {MPV_RENDER_PARAM_SW_STRIDE, &stride},
        {MPV_RENDER_PARAM_SW_POINTER, buffer_},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (mpv_render_context_render(render_, params) < 0) return;
    frame_.width = w;
    frame_.height = h;
    frame_.pixels.resize(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y) {
      const uint8_t* src = static_cast<const uint8_t*>(buffer_) + y * stride;
      uint8_t* dst = frame_.pixels.data() + static_cast<size_t>(y) * w * 4;
      std::memcpy(dst, src, static_cast<size_t>(w) * 4);
      for (int x = 0; x < w; ++x) dst[x * 4 + 3] = 255;
    }
    if (Engine::VideoSink* sink = Sink()) sink->FrameReady();
  }

 private:
  // What the libmpv threads may touch: cleared before the player goes away.
  struct Link {
    std::mutex mutex;
    MpvDevice* device = nullptr;
    std::function<void(std::function<void(MpvDevice&)>)> post;
    std::atomic<bool> wakeQueued{false};
    std::atomic<bool> renderQueued{false};
  };

  static void OnWakeup(void* data) {
    auto* link = static_cast<Link*>(data);
    std::lock_guard lock(link->mutex);
    if (!link->device || link->wakeQueued.exchange(true)) return;
    link->post([](MpvDevice& d) {
      d.link_->wakeQueued = false;
      d.Pump();
    });
  }
  static void OnRenderUpdate(void* data) {
    auto* link = static_cast<Link*>(data);
    std::lock_guard lock(link->mutex);
    if (!link->device || link->renderQueued.exchange(true)) return;
    link->post([](MpvDevice& d) {
      d.link_->renderQueued = false;
      if (!d.glSurface_) {
        d.Render(false);
        return;
      }
      // The surface paints, and draws the frame then.
      if (mpv_render_context_update(d.render_) & MPV_RENDER_UPDATE_FRAME)
        if (Engine::VideoSink* sink = d.Sink()) sink->FrameReady();
    });
  }

  void Handle(mpv_event* ev) {
    if (ev->event_id == MPV_EVENT_PROPERTY_CHANGE) {
      auto* prop = static_cast<mpv_event_property*>(ev->data);
      if (std::strcmp(prop->name, "eof-reached") == 0 && prop->format == MPV_FORMAT_FLAG) {
        eof_ = *static_cast<int*>(prop->data) != 0;
        if (eof_ && mode_ == Mode::Playing) Ended(kNotifySuccessful);
      }
    } else if (ev->event_id == MPV_EVENT_PLAYBACK_RESTART) {
      // The seek has landed. A frame-exact one stands where it was asked to
      // until playback moves on (the player's clock may lag behind it while
      // paused); the nearest key frame is where the other kind stands.
      if (seekPending_ && (!exactSeek_ || mode_ == Mode::Playing)) seekTarget_.reset();
      seekPending_ = false;
    } else if (ev->event_id == MPV_EVENT_END_FILE) {
      // keep-open holds a file that plays to its end, so the player lets go
      // of it (and goes idle) only when it can read no further: an error,
      // a drive gone.
      auto* end = static_cast<mpv_event_end_file*>(ev->data);
      bool failed = end->reason == MPV_END_FILE_REASON_ERROR;
      lost_ = lost_ || failed;
      eof_ = true;
      if (mode_ == Mode::Playing) Ended(failed ? kNotifyFailure : kNotifySuccessful);
    }
  }

  void Ended(int code) {
    mode_ = Mode::Stopped;
    Complete(code);
  }
  bool EofReached() {
    int flag = 0;
    return mpv_ && mpv_get_property(mpv_, "eof-reached", MPV_FORMAT_FLAG, &flag) >= 0 && flag;
  }
  Rect SourceRect() {
    auto [w, h] = SourceSize();
    return Rect{0, 0, w, h};
  }
  // The size a frame for a destination is drawn at: the destination's own,
  // or smaller in the same shape beyond the limit.
  static std::pair<int, int> FrameSize(const Rect& destination) {
    long long w = destination.Width(), h = destination.Height();
    if (w <= 0 || h <= 0) return {0, 0};
    double pixels = static_cast<double>(w) * static_cast<double>(h);
    if (pixels > kMaxFramePixels) {
      double scale = std::sqrt(kMaxFramePixels / pixels);
      w = std::max(1LL, static_cast<long long>(static_cast<double>(w) * scale));
      h = std::max(1LL, static_cast<long long>(static_cast<double>(h) * scale));
    }
    return {static_cast<int>(w), static_cast<int>(h)};
  }

  void SeekTo(long long ms) {
    long long length = LengthMs();
    ms = std::clamp(ms, 0LL, std::max(0LL, length));
    Pump();  // an earlier restart must not be taken for this seek's
    std::string seconds = std::to_string(ms / 1000.0);
    const char* cmd[] = {"seek", seconds.c_str(), exactSeek_ ? "absolute+exact" : "absolute+keyframes", nullptr};
    if (mpv_command(mpv_, cmd) < 0) return;
    eof_ = false;
    seekTarget_ = ms;
    frozen_.reset();
    // The seek goes on in the player's threads: waiting here for a frame
    // decoded at the target would hold the window for as long as that
    // takes. Until it lands the device answers the target as its position.
    seekPending_ = true;
  }

  std::optional<double> DoubleProperty(const char* name) {
    double v = 0;
    if (!mpv_ || mpv_get_property(mpv_, name, MPV_FORMAT_DOUBLE, &v) < 0) return std::nullopt;
    return v;
  }
  std::optional<int64_t> IntProperty(const char* name) {
    int64_t v = 0;
    if (!mpv_ || mpv_get_property(mpv_, name, MPV_FORMAT_INT64, &v) < 0) return std::nullopt;
    return v;
  }
  bool HasTrack(const char* kind) {
    std::string name = std::string("current-tracks/") + kind + "/id";
    return IntProperty(name.c_str()).has_value();
  }
  std::pair<int, int> SourceSize() {
    if (!HasTrack("video")) return {0, 0};
    if (IntProperty("current-tracks/video/image").value_or(0)) return {0, 0};
    auto w = IntProperty("current-tracks/video/demux-w");
    auto h = IntProperty("current-tracks/video/demux-h");
    if (!w || !h) {
      w = IntProperty("width");
      h = IntProperty("height");
    }
    if (!w || !h || *w <= 0 || *h <= 0) return {0, 0};
    return {static_cast<int>(*w), static_cast<int>(*h)};
  }
  // Whether a file may hold a moving picture: all but the sound types. A
  // surface's OpenGL is only woken for those.
  static bool MayShowPicture(const std::string& path) {
    const std::string ext = Extension(path);
    for (const MediaType& type : kMediaTypes)
      if (!ext.empty() && ext.substr(1) == type.extension) return !type.mime.starts_with("audio/");
    return true;
  }
  // The renderer of the picture: OpenGL in a surface's context where one
  // offers it, decoding on the graphics card where it can; else drawn
  // in memory by the engine.
  void MakeRenderer(bool openGL) {
    for (auto& [handle, sink] : owner_->surfaces) {
      if (!openGL) break;
      if (!sink || !sink->MakeGLCurrent()) continue;
      render_ = CreateGLRenderer(
          mpv_, [](void* s, const char* name) { return static_cast<Engine::VideoSink*>(s)->GLProcAddress(name); },
          sink);
      sink->DoneGLCurrent();
      if (render_) {
        glSurface_ = handle;
        mpv_set_option_string(mpv_, "hwdec", "auto-safe");
        break;
      }
    }
    if (!render_) {
      mpv_render_param params[] = {
          {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
          {MPV_RENDER_PARAM_INVALID, nullptr},
      };
      if (mpv_render_context_create(&render_, mpv_, params) < 0) render_ = nullptr;
    }
  }
  Engine::VideoSink* SinkOf(unsigned handle) {
    auto it = owner_->surfaces.find(handle);
    return it == owner_->surfaces.end() ? nullptr : it->second;
  }
  Engine::VideoSink* Sink() { return surface_ ? SinkOf(surface_) : nullptr; }
  void Placed() {
    if (Engine::VideoSink* sink = Sink(); sink && destination_) sink->Placed(*destination_, true, glSurface_.has_value());
  }

  void SetFlag(const char* name, bool value) {
    int flag = value ? 1 : 0;
    mpv_set_property(mpv_, name, MPV_FORMAT_FLAG, &flag);
  }

  std::shared_ptr<Link> link_;
  mpv_handle* mpv_ = nullptr;
  mpv_render_context* render_ = nullptr;
  Mode mode_ = Mode::Stopped;
  bool eof_ = false;
  bool lost_ = false;  // the player dropped the file: nothing more plays
  bool seekPending_ = false;  // sent to the player, not landed yet
  std::optional<long long> seekTarget_;
  std::optional<long long> frozen_;
  unsigned surface_ = 0;
  std::optional<unsigned> glSurface_;  // the surface whose context holds the renderer
  std::optional<Rect> destination_;
  void* buffer_ = nullptr;
  size_t bufferSize_ = 0;
  Picture frame_;
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
    auto length = ProbeLengthMs(path);
    if (!length) return kErrInvalidFile;
    devices[key] = std::make_unique<ProbeDevice>(this, alias, gen, *length);
    return 0;
  }
  if (type == "sequencer") {
    auto d = std::make_unique<MidiDevice>(this, alias, gen);
    if (int err = d->Load(path)) return err;
    devices[key] = std::move(d);
    return 0;
  }
  auto d = std::make_unique<MpvDevice>(this, alias, gen);
  if (int err = d->Load(path)) return err;
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

std::vector<std::string> Engine::MidiOutputDevices() { return ListMidiOutputs(); }

void Engine::SetMidiOutputVolume(int device, double volume) {
  int index = device < 0 ? 0 : device;
  impl_->midiVolumes[index] = std::clamp(volume, 0.0, 1.0);
  for (auto& [k, d] : impl_->devices)
    if (auto* midi = dynamic_cast<MidiDevice*>(d.get()); midi && midi->Port() == index) midi->SetLevel(volume);
}

void Engine::SetWaveOutputVolume(double volume) {
  impl_->waveVolume = std::clamp(volume, 0.0, 1.0);
  for (auto& [k, d] : impl_->devices)
    if (auto* mpv = dynamic_cast<MpvDevice*>(d.get())) mpv->SetLevel(volume);
}

std::vector<std::string> Engine::PlayableExtensions() { return PlayableExtensionList(); }

void Engine::RegisterSurface(unsigned handle, VideoSink* sink) { impl_->surfaces[handle] = sink; }
void Engine::UnregisterSurface(unsigned handle) {
  // What was made in the surface's context goes while the context is there.
  for (auto& [k, d] : impl_->devices)
    if (auto* mpv = dynamic_cast<MpvDevice*>(d.get()); mpv && mpv->GLSurface() == handle) mpv->ReleaseRenderer();
  impl_->surfaces.erase(handle);
}

bool Engine::RenderVideo(unsigned handle, int fbo, int width, int height) {
  for (auto& [k, d] : impl_->devices)
    if (auto* mpv = dynamic_cast<MpvDevice*>(d.get()); mpv && handle && mpv->Surface() == handle)
      return mpv->RenderGL(fbo, width, height);
  return false;
}

std::optional<Engine::Frame> Engine::VideoFrame(unsigned handle) {
  for (auto& [k, d] : impl_->devices) {
    if (d->Surface() != handle || !handle) continue;
    auto* mpv = dynamic_cast<MpvDevice*>(d.get());
    if (!mpv) continue;
    auto pic = mpv->Frame();
    if (!pic) return std::nullopt;
    Rect dest = mpv->DestinationRect().value_or(Rect{0, 0, pic->width, pic->height});
    return Frame{std::move(*pic), dest};
  }
  return std::nullopt;
}

std::optional<Picture> Engine::CurrentFrame(const std::string& alias) {
  Device* d = impl_->Lookup(alias);
  if (!d) return std::nullopt;
  d->Pump();
  if (d->Source().empty()) return std::nullopt;
  if (auto* mpv = dynamic_cast<MpvDevice*>(d)) mpv->Render(true);
  return d->Frame();
}

double Engine::TakeMidiOutputPeak() { return TakeSynthPeak(); }

std::vector<std::string> Engine::OpenAliases() const {
  std::vector<std::string> out;
  for (auto& [k, d] : impl_->devices) out.push_back(d->Alias());
  return out;
}

}  // namespace qel::engine
