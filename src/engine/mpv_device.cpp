#include <mpv/client.h>
#include <mpv/render.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "engine/backends.h"
#include "engine/engine_internal.h"
#include "engine/gl_render.h"
#include "engine/loudness.h"
#include "engine/media_types.h"
#include "engine/probe.h"

namespace qel::engine {
namespace {

constexpr double kOpenBoundSeconds = 5.0;
// The largest frame ever drawn, about a 4K screen. A destination (the
// default one is the size the file states) may be larger: the frame is then
// drawn smaller in its shape and the pane stretches it over the destination,
// so no buffer is ever sized by a number read from a file.
constexpr long long kMaxFramePixels = 3840LL * 2160;

void EndPlayer(void* player) { mpv_terminate_destroy(static_cast<mpv_handle*>(player)); }

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
    if (mpv_ && opened_ && !lost_ && !owner_->sparePlayer && Idle())
      owner_->sparePlayer = {std::exchange(mpv_, nullptr), &EndPlayer};
    if (mpv_) mpv_terminate_destroy(mpv_);
    std::free(buffer_);
  }

  int Load(const std::string& path) {
    mpv_ = static_cast<mpv_handle*>(owner_->sparePlayer.release());
    if (mpv_) {
      // As a new player would start: paused, decoding in software.
      SetFlag("pause", true);
      mpv_set_option_string(mpv_, "hwdec", "no");
      mpv_set_property_string(mpv_, "replaygain", "no");
      return LoadFile(path);
    }
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
        {"sw-fast", "yes"},        {"audio-client-name", "Qel"},
        // One file at a time: without this libmpv reports the end as soon as
        // the last sound is queued, up to half a second before it is heard.
        {"gapless-audio", "no"},
    };
    for (const auto& [name, value] : options) mpv_set_option_string(mpv_, name, value);
    if (mpv_initialize(mpv_) < 0) return kErrDeviceOpen;
    return LoadFile(path);
  }

  // Takes the player back to where a new one starts, for the next device:
  // its file stopped, nothing observed, nobody woken, and every event about
  // the old file taken from its queue. False when it does not get there
  // in time; it is then ended instead.
  bool Idle() {
    mpv_set_wakeup_callback(mpv_, nullptr, nullptr);
    mpv_unobserve_property(mpv_, 1);
    mpv_unobserve_property(mpv_, 2);
    const char* stop[] = {"stop", nullptr};
    if (mpv_command(mpv_, stop) < 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    for (;;) {
      const double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) return false;
      mpv_event* ev = mpv_wait_event(mpv_, left);
      if (ev->event_id == MPV_EVENT_SHUTDOWN) return false;
      // A loaded file ends once: stopped now, or earlier by an error whose
      // event was still queued.
      if (ev->event_id == MPV_EVENT_END_FILE) break;
    }
    while (mpv_wait_event(mpv_, 0)->event_id != MPV_EVENT_NONE) {
    }
    return true;
  }

  int LoadFile(const std::string& path) {
    path_ = path;
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
    opened_ = true;
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
    if (lost_ || eof_ || EofReached() || (LengthMs() > 0 && PositionMs() >= LengthMs()))
      EndedBeforePlaying();
    else
      GoOn();
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
    if (mode_ != Mode::Paused) return 0;
    if (lost_ || EofReached())
      EndedBeforePlaying();
    else
      GoOn();
    return 0;
  }
  // Nothing is left to play: the notification says how it ended.
  void EndedBeforePlaying() {
    mode_ = Mode::Stopped;
    Complete(lost_ ? kNotifyFailure : kNotifySuccessful);
  }
  // Plays on from where the player is; a seek still under way keeps its
  // target as the position until it lands.
  void GoOn() {
    if (!seekPending_) seekTarget_.reset();
    frozen_.reset();
    SetFlag("pause", false);
    mode_ = Mode::Playing;
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
    if (!mpv_) return;
    // libmpv reads the same loudness tags (MP4's freeform atoms among them)
    // and keeps the peak from clipping, as the engine's own decoders do.
    const ReplayGain mode = owner_->replayGain;
    const char* gain = mode == ReplayGain::Track ? "track" : mode == ReplayGain::Album ? "album" : "no";
    if (gain != replayGain_) {
      mpv_set_property_string(mpv_, "replaygain", gain);
      replayGain_ = gain;
    }
    mpv_set_property(mpv_, "volume", MPV_FORMAT_DOUBLE, &percent);
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
  std::optional<Rect> DestinationRect() const override { return destination_; }
  unsigned Surface() const override { return surface_; }
  bool FollowsWaveVolume() const override { return true; }
  std::string PlayingPath() const override { return opened_ ? path_ : std::string(); }
  std::string Renderer() override {
    if (!render_) return "";
    return glSurface_ ? "opengl" : "software";
  }

  // The frame for an OpenGL surface's paint.
  bool RenderGL(int fbo, int width, int height) override {
    return glSurface_ && RenderGLFrame(render_, fbo, width, height);
  }

  // Lets go of the renderer, in the context it was made in; the picture
  // stops with it.
  void ReleaseRenderer() override {
    if (!render_) return;
    Engine::VideoSink* gl = glSurface_ ? SinkOf(*glSurface_) : nullptr;
    const bool current = gl && gl->MakeGLCurrent();
    mpv_render_context_free(render_);
    if (current) gl->DoneGLCurrent();
    render_ = nullptr;
    glSurface_.reset();
  }
  std::optional<unsigned> GLSurface() const override { return glSurface_; }

  // Draws the current video frame at the destination size. forced: draw
  // even when libmpv has not announced a new frame (size changes).
  void Render(bool forced) override {
    if (!render_ || glSurface_) return;
    uint64_t flags = mpv_render_context_update(render_);
    if (!(flags & MPV_RENDER_UPDATE_FRAME) && !forced) return;
    Rect drawn = destination_.value_or(SourceRect());
    if (Engine::VideoSink* sink = Sink(); sink && destination_) {
      const double ratio = std::clamp(sink->PixelRatio(), 1.0, 8.0);
      drawn.right = drawn.left + static_cast<int>(std::lround(drawn.Width() * ratio));
      drawn.bottom = drawn.top + static_cast<int>(std::lround(drawn.Height() * ratio));
    }
    auto [w, h] = FrameSize(drawn);
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
  std::string path_;
  bool opened_ = false;  // its file loaded: the player may serve the next one
  bool lost_ = false;  // the player dropped the file: nothing more plays
  bool seekPending_ = false;  // sent to the player, not landed yet
  const char* replayGain_ = "no";  // libmpv's mode, as last set
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

const PlayerBackend kPlayerBackend{
    &LoadDevice<MpvDevice>,
    &ProbeLengthMs,
};

}  // namespace qel::engine
