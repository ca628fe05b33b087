// Sampled sound without libmpv: libsndfile decodes WAV, FLAC, Ogg Vorbis and
// Opus and MP3, and the sound server plays it. libmpv and the FFmpeg
// libraries it brings (a few hundred libraries, tens of megabytes) stay
// unloaded while such files play; libsndfile and libpulse are a handful.
// Files it cannot read, and machines without a sound server, go to libmpv.
#include <pulse/pulseaudio.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/engine_internal.h"
#include "engine/loudness.h"

namespace qel::engine {
namespace {

// How much sound the server holds ahead: what a pause, a seek or a volume
// change takes to be heard.
constexpr pa_usec_t kServerBufferUs = 150'000;

bool ForStream(const std::string& path) { return IsSoundFileExtension(Extension(path)); }

// QEL_AUDIO_OUTPUT: unset (or "pulse") plays through the sound server,
// "null" through a clock that hears nothing; any other value names one of
// libmpv's outputs, which then plays everything.
enum class Route { Server, Clock, Mpv };
Route OutputRoute() {
  const char* ao = std::getenv("QEL_AUDIO_OUTPUT");
  if (!ao || !*ao || std::strcmp(ao, "pulse") == 0) return Route::Server;
  return std::strcmp(ao, "null") == 0 ? Route::Clock : Route::Mpv;
}

// One file open in libsndfile. Only the thread that feeds the output reads
// it, or the device while the output is held (Output::Restart).
class SoundFile {
 public:
  static std::unique_ptr<SoundFile> Open(const std::string& path) {
    auto f = std::unique_ptr<SoundFile>(new SoundFile);
    f->file_ = sf_open(path.c_str(), SFM_READ, &f->info_);
    if (!f->file_) return nullptr;
    switch (f->info_.format & SF_FORMAT_TYPEMASK) {
      case SF_FORMAT_WAV: case SF_FORMAT_WAVEX: case SF_FORMAT_RF64: case SF_FORMAT_FLAC:
      case SF_FORMAT_OGG: case SF_FORMAT_MPEG: break;
      default: return nullptr;
    }
    if (f->info_.frames <= 0 || f->info_.frames == SF_COUNT_MAX || f->info_.samplerate <= 0 ||
        f->info_.channels <= 0 || f->info_.channels > static_cast<int>(PA_CHANNELS_MAX) || !f->info_.seekable)
      return nullptr;
    return f;
  }
  ~SoundFile() {
    if (file_) sf_close(file_);
  }
  int Rate() const { return info_.samplerate; }
  int Channels() const { return info_.channels; }
  long long Frames() const { return info_.frames; }
  long long FramesToMs(long long frames) const { return std::llround(frames * 1000.0 / info_.samplerate); }

  // Up to `frames` frames at the gain; fewer only at the end or when the
  // file can be read no further (Failed() then says so).
  size_t Read(float* out, size_t frames, float gain) {
    sf_count_t got = sf_readf_float(file_, out, static_cast<sf_count_t>(frames));
    if (got < 0) got = 0;
    if (static_cast<size_t>(got) < frames && sf_error(file_) != SF_ERR_NO_ERROR) failed_ = true;
    if (gain != 1.0f)
      for (size_t i = 0, n = static_cast<size_t>(got) * info_.channels; i < n; ++i) out[i] *= gain;
    return static_cast<size_t>(got);
  }
  bool Seek(long long frame) { return sf_seek(file_, frame, SEEK_SET) >= 0; }
  bool Failed() const { return failed_; }

 private:
  SoundFile() = default;
  SNDFILE* file_ = nullptr;
  SF_INFO info_{};
  std::atomic<bool> failed_{false};
};

// Where decoded sound goes. The feed runs on the output's own thread and
// fills up to the frames asked, answering 0 at the end; `drained` is called
// there once everything fed has been heard after that.
class Output {
 public:
  using Feed = std::function<size_t(float*, size_t)>;
  virtual ~Output() = default;
  virtual void Run(bool on) = 0;
  // Drops what the output holds and runs `reposition` while nothing feeds;
  // the played count starts again from 0.
  virtual void Restart(const std::function<void()>& reposition) = 0;
  // Frames heard since the last restart.
  virtual long long PlayedFrames() = 0;
  // Whether the output can play no more (its `drained` was called for it).
  virtual bool Lost() { return false; }
};

}  // namespace

// ---- the sound server: one connection for the engine ----
class SoundServer {
 public:
  static std::shared_ptr<SoundServer> Connect() {
    auto s = std::shared_ptr<SoundServer>(new SoundServer);
    s->loop_ = pa_threaded_mainloop_new();
    if (!s->loop_) return nullptr;
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Qel");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "org.qel.Qel");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "org.qel.Qel");
    s->context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(s->loop_), "Qel", props);
    pa_proplist_free(props);
    if (!s->context_) return nullptr;
    pa_context_set_state_callback(
        s->context_, [](pa_context*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); },
        s->loop_);
    if (pa_context_connect(s->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return nullptr;
    if (pa_threaded_mainloop_start(s->loop_) < 0) return nullptr;
    s->started_ = true;
    Locked lock(s->loop_);
    for (;;) {
      pa_context_state_t state = pa_context_get_state(s->context_);
      if (state == PA_CONTEXT_READY) return s;
      if (!PA_CONTEXT_IS_GOOD(state)) return nullptr;
      pa_threaded_mainloop_wait(s->loop_);
    }
  }
  ~SoundServer() {
    if (started_) pa_threaded_mainloop_stop(loop_);
    if (context_) {
      pa_context_disconnect(context_);
      pa_context_unref(context_);
    }
    if (loop_) pa_threaded_mainloop_free(loop_);
  }
  bool Alive() {
    Locked lock(loop_);
    return pa_context_get_state(context_) == PA_CONTEXT_READY;
  }
  pa_threaded_mainloop* Loop() const { return loop_; }
  pa_context* Context() const { return context_; }

  struct Locked {
    explicit Locked(pa_threaded_mainloop* l) : loop(l) { pa_threaded_mainloop_lock(loop); }
    ~Locked() { pa_threaded_mainloop_unlock(loop); }
    pa_threaded_mainloop* loop;
  };

 private:
  SoundServer() = default;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  bool started_ = false;
};

namespace {

// One playback stream on the sound server. Its callbacks run on the
// server's thread with the loop locked, and so does every method here.
class ServerOutput : public Output {
 public:
  ServerOutput(std::shared_ptr<SoundServer> server, Feed feed, std::function<void()> drained)
      : server_(std::move(server)), feed_(std::move(feed)), drained_(std::move(drained)) {}
  ~ServerOutput() override {
    SoundServer::Locked lock(server_->Loop());
    CancelDrain();
    if (stream_) {
      pa_stream_set_write_callback(stream_, nullptr, nullptr);
      pa_stream_set_state_callback(stream_, nullptr, nullptr);
      pa_stream_disconnect(stream_);
      pa_stream_unref(stream_);
    }
  }

  bool Connect(int rate, int channels, const std::string& name) {
    SoundServer::Locked lock(server_->Loop());
    spec_ = pa_sample_spec{PA_SAMPLE_FLOAT32NE, static_cast<uint32_t>(rate), static_cast<uint8_t>(channels)};
    pa_channel_map map;
    if (!pa_sample_spec_valid(&spec_) || !pa_channel_map_init_extend(&map, spec_.channels, PA_CHANNEL_MAP_WAVEEX))
      return false;
    frameBytes_ = pa_frame_size(&spec_);
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_NAME, name.c_str());
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "music");
    stream_ = pa_stream_new_with_proplist(server_->Context(), name.c_str(), &spec_, &map, props);
    pa_proplist_free(props);
    if (!stream_) return false;
    pa_stream_set_state_callback(stream_, &ServerOutput::OnState, this);
    pa_stream_set_write_callback(
        stream_, [](pa_stream*, size_t bytes, void* self) { static_cast<ServerOutput*>(self)->Write(bytes); }, this);
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kServerBufferUs, &spec_));
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                                PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING);
    if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0) return false;
    for (;;) {
      pa_stream_state_t state = pa_stream_get_state(stream_);
      if (state == PA_STREAM_READY) return ready_ = true;
      if (!PA_STREAM_IS_GOOD(state)) return false;
      pa_threaded_mainloop_wait(server_->Loop());
    }
  }

  void Run(bool on) override {
    SoundServer::Locked lock(server_->Loop());
    if (pa_operation* op = pa_stream_cork(stream_, on ? 0 : 1, nullptr, nullptr)) pa_operation_unref(op);
  }

  void Restart(const std::function<void()>& reposition) override {
    SoundServer::Locked lock(server_->Loop());
    CancelDrain();
    if (pa_operation* op = pa_stream_flush(stream_, nullptr, nullptr)) pa_operation_unref(op);
    reposition();
    written_ = 0;
    played_ = 0;
    ended_ = false;
    // The server asks for sound again as it can take it; a stream held at
    // the end of its file asks no more, so it is filled here.
    if (size_t writable = pa_stream_writable_size(stream_); writable != static_cast<size_t>(-1)) Write(writable);
  }

  bool Lost() override { return lost_; }

  long long PlayedFrames() override {
    SoundServer::Locked lock(server_->Loop());
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(stream_, &latency, &negative) >= 0) {
      long long queued = negative ? 0 : static_cast<long long>(latency * spec_.rate / 1'000'000);
      // Never backwards: the estimate of what is queued wavers a little.
      played_ = std::max(played_, std::clamp(written_ - queued, 0LL, written_));
    }
    return played_;
  }

 private:
  // A stream that fails once it played (the server went away or was
  // restarted) plays no more: what was left counts as lost.
  static void OnState(pa_stream* stream, void* data) {
    auto* self = static_cast<ServerOutput*>(data);
    pa_threaded_mainloop_signal(self->server_->Loop(), 0);
    if (self->ready_ && !self->lost_ && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
      self->lost_ = true;
      self->drained_();
    }
  }
  void Write(size_t bytes) {
    while (!ended_ && bytes >= frameBytes_) {
      void* data = nullptr;
      size_t room = bytes;
      if (pa_stream_begin_write(stream_, &data, &room) < 0 || !data) return;
      size_t frames = std::min(room, bytes) / frameBytes_;
      size_t got = frames ? feed_(static_cast<float*>(data), frames) : 0;
      if (got == 0) {
        pa_stream_cancel_write(stream_);
        End();
        return;
      }
      pa_stream_write(stream_, data, got * frameBytes_, nullptr, 0, PA_SEEK_RELATIVE);
      written_ += static_cast<long long>(got);
      bytes -= got * frameBytes_;
      if (got < frames) End();
    }
  }
  // Everything is written: the server says when it has all been heard.
  void End() {
    ended_ = true;
    drain_ = pa_stream_drain(
        stream_,
        [](pa_stream*, int success, void* self) {
          if (success) static_cast<ServerOutput*>(self)->drained_();
        },
        this);
  }
  void CancelDrain() {
    if (!drain_) return;
    pa_operation_cancel(drain_);
    pa_operation_unref(drain_);
    drain_ = nullptr;
  }

  std::shared_ptr<SoundServer> server_;
  Feed feed_;
  std::function<void()> drained_;
  pa_stream* stream_ = nullptr;
  pa_sample_spec spec_{};
  size_t frameBytes_ = 0;
  pa_operation* drain_ = nullptr;
  long long written_ = 0;
  long long played_ = 0;
  bool ended_ = false;
  bool ready_ = false;
  std::atomic<bool> lost_{false};
};

// Plays into nothing at the pace of the clock (QEL_AUDIO_OUTPUT=null), so
// positions and ends come as they would through a sound card.
class ClockOutput : public Output {
 public:
  ClockOutput(int rate, int channels, Feed feed, std::function<void()> drained)
      : rate_(rate), channels_(channels), feed_(std::move(feed)), drained_(std::move(drained)),
        thread_([this] { Loop(); }) {}
  ~ClockOutput() override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void Run(bool on) override {
    std::lock_guard lock(mutex_);
    if (on == running_) return;
    running_ = on;
    if (on) start_ = Clock::now() - FramesToTime(played_);
    wake_.notify_all();
  }
  void Restart(const std::function<void()>& reposition) override {
    std::lock_guard lock(mutex_);
    reposition();
    played_ = 0;
    ended_ = false;
    start_ = Clock::now();
    wake_.notify_all();
  }
  long long PlayedFrames() override {
    std::lock_guard lock(mutex_);
    return played_;
  }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::duration FramesToTime(long long frames) const {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(double(frames) / rate_));
  }
  void Loop() {
    std::vector<float> scratch(4096 * static_cast<size_t>(channels_));
    std::unique_lock lock(mutex_);
    while (!quit_) {
      if (!running_ || ended_) {
        wake_.wait(lock);
        continue;
      }
      double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
      long long due = static_cast<long long>(elapsed * rate_) - played_;
      while (due > 0 && !ended_) {
        size_t ask = static_cast<size_t>(std::min<long long>(due, 4096));
        size_t got = feed_(scratch.data(), ask);
        played_ += static_cast<long long>(got);
        due -= static_cast<long long>(got);
        if (got < ask) {
          ended_ = true;
          drained_();
        }
      }
      wake_.wait_for(lock, std::chrono::milliseconds(10));
    }
  }

  const int rate_;
  const int channels_;
  Feed feed_;
  std::function<void()> drained_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;
  bool running_ = false;
  bool ended_ = false;
  long long played_ = 0;
  Clock::time_point start_ = Clock::now();
  std::thread thread_;
};

class StreamDevice : public Device {
 public:
  StreamDevice(Engine::Impl* owner, std::string alias, unsigned long long gen, std::unique_ptr<SoundFile> file,
               std::string path)
      : Device(owner, std::move(alias), gen), file_(std::move(file)), path_(std::move(path)) {}
  ~StreamDevice() override { output_.reset(); }  // no feed after this

  bool Start(std::shared_ptr<SoundServer> server) {
    level_ = owner_->waveVolume;
    RefreshVolume();
    auto feed = [this](float* out, size_t frames) { return file_->Read(out, frames, gain_.load()); };
    // Called where the output feeds, under its lock, as Restart runs too:
    // the epoch read here is the one of the sound that ended.
    auto drained = [this, owner = owner_, key = Lower(alias_), gen = generation_] {
      long long epoch = epoch_;
      drainedEpoch_ = epoch;
      owner->PostToDevice(key, gen, [epoch](Device& d) { static_cast<StreamDevice&>(d).Drained(epoch); });
    };
    if (!server) {
      output_ = std::make_unique<ClockOutput>(file_->Rate(), file_->Channels(), feed, drained);
      return true;
    }
    auto out = std::make_unique<ServerOutput>(std::move(server), feed, drained);
    const size_t slash = path_.rfind('/');
    if (!out->Connect(file_->Rate(), file_->Channels(), path_.substr(slash == std::string::npos ? 0 : slash + 1)))
      return false;
    output_ = std::move(out);
    return true;
  }

  void Pump() override {
    if (drainedEpoch_ == epoch_) Drained(epoch_);
  }
  Mode CurrentMode() override { return mode_; }
  long long LengthMs() override { return file_->FramesToMs(file_->Frames()); }
  long long PositionMs() override {
    if (atEnd_) return LengthMs();
    if (frozen_) return *frozen_;
    return std::clamp(file_->FramesToMs(base_ + output_->PlayedFrames()), 0LL, LengthMs());
  }
  int Play(std::optional<long long> from) override {
    if (from) SeekTo(*from);
    if (atEnd_ || Failed() || PositionMs() >= LengthMs()) {
      EndedBeforePlaying();
    } else {
      frozen_.reset();
      output_->Run(true);
      mode_ = Mode::Playing;
    }
    return 0;
  }
  int Pause() override {
    if (mode_ == Mode::Playing) Hold(Mode::Paused);
    return 0;
  }
  int Resume() override {
    if (mode_ != Mode::Paused) return 0;
    return Play(std::nullopt);
  }
  int Stop() override {
    if (mode_ == Mode::Playing) Hold(Mode::Stopped);
    mode_ = Mode::Stopped;
    Complete(kNotifyAborted);
    return 0;
  }
  int Seek(long long ms) override {
    if (mode_ == Mode::Playing) Hold(Mode::Stopped);
    mode_ = Mode::Stopped;
    Complete(kNotifyAborted);
    SeekTo(ms);
    return 0;
  }
  void RefreshVolume() override { gain_ = static_cast<float>(LoudnessGain(level_)); }
  bool FollowsWaveVolume() const override { return true; }
  std::string PlayingPath() const override { return path_; }

 private:
  // Stops the sound where it is; the device answers that place until it
  // plays again.
  void Hold(Mode mode) {
    frozen_ = PositionMs();
    output_->Run(false);
    mode_ = mode;
  }
  void SeekTo(long long ms) {
    ms = std::clamp(ms, 0LL, LengthMs());
    const long long frame = std::min(file_->Frames(), ms * file_->Rate() / 1000);
    output_->Restart([&] {
      ++epoch_;
      file_->Seek(frame);
    });
    base_ = frame;
    atEnd_ = false;
    frozen_ = ms;
  }
  bool Failed() const { return file_->Failed() || output_->Lost(); }
  void EndedBeforePlaying() {
    mode_ = Mode::Stopped;
    Complete(Failed() ? kNotifyFailure : kNotifySuccessful);
  }
  // Everything up to the end of the file has been heard.
  void Drained(long long epoch) {
    if (epoch != epoch_ || atEnd_) return;
    atEnd_ = true;
    if (mode_ != Mode::Playing) return;
    output_->Run(false);
    EndedBeforePlaying();
  }

  std::unique_ptr<SoundFile> file_;
  std::string path_;
  std::unique_ptr<Output> output_;
  std::atomic<float> gain_{1.0f};
  std::atomic<long long> epoch_{0};         // counts the seeks
  std::atomic<long long> drainedEpoch_{-1};  // the seek after which the end was heard
  Mode mode_ = Mode::Stopped;
  long long base_ = 0;  // the frame the output's count starts from
  bool atEnd_ = false;
  std::optional<long long> frozen_{0};  // what a device that does not play answers
};

}  // namespace

int OpenStreamDevice(Engine::Impl* owner, const std::string& alias, unsigned long long generation,
                     const std::string& path, std::unique_ptr<Device>* out) {
  const Route route = OutputRoute();
  if (route == Route::Mpv || !ForStream(path)) return kErrUnsupportedFunction;
  auto file = SoundFile::Open(path);
  if (!file) return kErrUnsupportedFunction;
  std::shared_ptr<SoundServer> server;
  if (route == Route::Server) {
    if (!owner->soundServer || !owner->soundServer->Alive()) owner->soundServer = SoundServer::Connect();
    server = owner->soundServer;
    if (!server) return kErrUnsupportedFunction;
  }
  auto d = std::make_unique<StreamDevice>(owner, alias, generation, std::move(file), path);
  if (!d->Start(std::move(server))) return kErrUnsupportedFunction;
  *out = std::move(d);
  return 0;
}

std::optional<long long> StreamLengthMs(const std::string& path) {
  if (!ForStream(path)) return std::nullopt;
  auto file = SoundFile::Open(path);
  if (!file) return std::nullopt;
  return file->FramesToMs(file->Frames());
}

}  // namespace qel::engine
