#include "engine/sound_output.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace qel::engine {
namespace {

// How much sound the server holds ahead of what is heard: what a volume
// change takes to be heard, and the time the next file has to open for its
// first sample to follow the last one of the file before.
constexpr pa_usec_t kServerBufferUs = 150'000;
// The longest any call waits for the server: one that is there but does
// not answer (stopped, hung) fails the open instead of hanging the player.
constexpr auto kServerBound = std::chrono::milliseconds(2000);

}  // namespace

size_t Track::Pull(float* out, size_t frames) {
  size_t got = decoder->Read(out, frames);
  const float g = gain.load();
  if (g != 1.0f)
    for (size_t i = 0, n = got * static_cast<size_t>(decoder->Channels()); i < n; ++i) out[i] *= g;
  return got;
}

Route OutputRoute() {
  const char* ao = std::getenv("QEL_AUDIO_OUTPUT");
  if (!ao || !*ao || std::strcmp(ao, "pulse") == 0) return Route::Server;
  return std::strcmp(ao, "null") == 0 ? Route::Clock : Route::Mpv;
}

// ---- the sound server: one connection for the engine ----
class SoundServer {
 public:
  ~SoundServer() {
    if (started_) pa_threaded_mainloop_stop(loop_);
    if (context_) {
      pa_context_disconnect(context_);
      pa_context_unref(context_);
    }
    if (loop_) pa_threaded_mainloop_free(loop_);
  }

  static std::shared_ptr<SoundServer> Connect(bool* timedOut) {
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
    bool ready = s->WaitUntil([&] { return !PA_CONTEXT_IS_GOOD(pa_context_get_state(s->context_)) ||
                                           pa_context_get_state(s->context_) == PA_CONTEXT_READY; });
    *timedOut = !ready;
    if (!ready || pa_context_get_state(s->context_) != PA_CONTEXT_READY) return nullptr;
    return s;
  }

  bool Alive() {
    Locked lock(loop_);
    return pa_context_get_state(context_) == PA_CONTEXT_READY;
  }
  // One round trip: whether the server answers at all.
  bool Answers() {
    Locked lock(loop_);
    bool answered = false;
    struct Reply {
      pa_threaded_mainloop* loop;
      bool* answered;
    } reply{loop_, &answered};
    pa_operation* op = pa_context_get_server_info(
        context_,
        [](pa_context*, const pa_server_info*, void* data) {
          auto* r = static_cast<Reply*>(data);
          *r->answered = true;
          pa_threaded_mainloop_signal(r->loop, 0);
        },
        &reply);
    if (!op) return false;
    const bool ok = WaitUntil([&] { return answered || pa_operation_get_state(op) != PA_OPERATION_RUNNING; });
    // A reply that never came must not be delivered to a reply gone.
    if (!ok) pa_operation_cancel(op);
    pa_operation_unref(op);
    return ok && answered;
  }
  pa_threaded_mainloop* Loop() const { return loop_; }
  pa_context* Context() const { return context_; }

  // With the loop locked: waits for the server's thread to make done() true,
  // at most kServerBound; false when the bound passed first.
  template <typename Done>
  bool WaitUntil(Done done) {
    struct Alarm {
      pa_threaded_mainloop* loop;
      bool rang = false;
    } alarm{loop_};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
    timeval when;
    pa_gettimeofday(&when);
    pa_timeval_add(&when, std::chrono::duration_cast<std::chrono::microseconds>(kServerBound).count());
    pa_time_event* event = api->time_new(
        api, &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* data) {
          auto* a = static_cast<Alarm*>(data);
          a->rang = true;
          pa_threaded_mainloop_signal(a->loop, 0);
        },
        &alarm);
    bool ok = true;
    while (!done()) {
      if (alarm.rang) {
        ok = false;
        break;
      }
      pa_threaded_mainloop_wait(loop_);
    }
    api->time_free(event);
    return ok;
  }

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

ServerAnswer AskSoundServer(std::shared_ptr<SoundServer>* server) {
  if (*server && (*server)->Alive()) return (*server)->Answers() ? ServerAnswer::Yes : ServerAnswer::Hung;
  bool timedOut = false;
  *server = SoundServer::Connect(&timedOut);
  return *server ? ServerAnswer::Yes : timedOut ? ServerAnswer::Hung : ServerAnswer::Absent;
}

namespace {

// One playback stream on the sound server, for the files that follow one
// another at its rate and channels. Its callbacks run on the server's
// thread with the loop locked, and so does every method here.
class ServerOutput : public Output {
 public:
  ServerOutput(std::shared_ptr<SoundServer> server, int rate, int channels)
      : server_(std::move(server)),
        spec_{PA_SAMPLE_FLOAT32NE, static_cast<uint32_t>(rate), static_cast<uint8_t>(channels)} {}
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

  bool Connect(const std::string& name) {
    SoundServer::Locked lock(server_->Loop());
    pa_channel_map map;
    if (!pa_sample_spec_valid(&spec_) || !pa_channel_map_init_extend(&map, spec_.channels, PA_CHANNEL_MAP_WAVEEX))
      return false;
    frameBytes_ = pa_frame_size(&spec_);
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_NAME, name.c_str());
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "music");
    stream_ = pa_stream_new_with_proplist(server_->Context(), "Qel", &spec_, &map, props);
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
    const bool answered = server_->WaitUntil([&] {
      pa_stream_state_t state = pa_stream_get_state(stream_);
      return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
    });
    return ready_ = answered && pa_stream_get_state(stream_) == PA_STREAM_READY;
  }

  void Queue(std::shared_ptr<Track> track) override {
    SoundServer::Locked lock(server_->Loop());
    track->startAt = track->endAt = -1;
    queue_.push_back(std::move(track));
    idle_ = false;
    CancelDrain();
    Apply();
  }

  void Run(bool on) override {
    SoundServer::Locked lock(server_->Loop());
    running_ = on;
    Apply();
  }

  void Restart(const std::shared_ptr<Track>& track, const std::function<void()>& reposition) override {
    SoundServer::Locked lock(server_->Loop());
    Flush();
    running_ = false;  // a file put somewhere new plays when it is told to
    reposition();
    track->startAt = track->endAt = -1;
    queue_.push_back(track);
    idle_ = false;
    Apply();
  }

  void Drop(const std::shared_ptr<Track>& track) override {
    SoundServer::Locked lock(server_->Loop());
    if (std::find(queue_.begin(), queue_.end(), track) == queue_.end()) return;
    Flush();
    idle_ = true;
    Apply();
  }

  // Waits until what was handed over has been heard (a file at another
  // rate follows it on a stream of its own, never over it).
  void WaitSilent() {
    SoundServer::Locked lock(server_->Loop());
    server_->WaitUntil([&] { return Silent(); });
  }

  long long HeardOf(const Track& track) override {
    SoundServer::Locked lock(server_->Loop());
    UpdatePlayed();
    if (track.startAt < 0) return 0;
    long long heard = played_ - track.startAt;
    if (track.endAt >= 0) heard = std::min(heard, track.endAt - track.startAt);
    return std::max(0LL, heard);
  }

  bool Lost() override { return lost_; }
  bool Takes(int rate, int channels) override {
    return !lost_ && spec_.rate == static_cast<uint32_t>(rate) && spec_.channels == channels;
  }

 private:
  void Flush() {
    CancelDrain();
    if (pa_operation* op = pa_stream_flush(stream_, nullptr, nullptr)) pa_operation_unref(op);
    queue_.clear();
    written_ = 0;
    played_ = 0;
  }

  // Corked unless it should run and has something to play; filled as soon
  // as it may run.
  void Apply() {
    const bool run = running_ && !idle_;
    if (run != uncorked_) {
      if (pa_operation* op = pa_stream_cork(stream_, run ? 0 : 1, nullptr, nullptr)) pa_operation_unref(op);
      uncorked_ = run;
    }
    if (run)
      if (size_t writable = pa_stream_writable_size(stream_); writable != static_cast<size_t>(-1)) Write(writable);
  }

  void UpdatePlayed() {
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(stream_, &latency, &negative) >= 0) {
      long long queued = negative ? 0 : static_cast<long long>(latency * spec_.rate / 1'000'000);
      // Never backwards: the estimate of what is queued wavers a little.
      played_ = std::max(played_, std::clamp(written_ - queued, 0LL, written_));
    }
  }

  bool Silent() {
    UpdatePlayed();
    return queue_.empty() && (idle_ || played_ >= written_ || lost_);
  }

  // A stream that fails once it played (the server went away or was
  // restarted) plays no more: the files it had end there.
  static void OnState(pa_stream* stream, void* data) {
    auto* self = static_cast<ServerOutput*>(data);
    pa_threaded_mainloop_signal(self->server_->Loop(), 0);
    if (self->ready_ && !self->lost_ && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
      self->lost_ = true;
      auto queue = std::move(self->queue_);
      self->queue_.clear();
      for (auto& track : queue) track->fed();
    }
  }

  void Write(size_t bytes) {
    if (!uncorked_ || lost_) return;
    while (!queue_.empty() && bytes >= frameBytes_) {
      void* data = nullptr;
      size_t room = bytes;
      if (pa_stream_begin_write(stream_, &data, &room) < 0 || !data) return;
      const size_t frames = std::min(room, bytes) / frameBytes_;
      size_t done = 0;
      // One file's last samples and the next one's first share the write.
      while (done < frames && !queue_.empty()) {
        const std::shared_ptr<Track>& track = queue_.front();
        if (track->startAt < 0) track->startAt = written_ + static_cast<long long>(done);
        size_t got = track->Pull(static_cast<float*>(data) + done * spec_.channels, frames - done);
        done += got;
        if (done < frames) {
          track->endAt = written_ + static_cast<long long>(done);
          auto ended = track;
          queue_.pop_front();
          ended->fed();
        }
      }
      if (done == 0) {
        pa_stream_cancel_write(stream_);
      } else {
        pa_stream_write(stream_, data, done * frameBytes_, nullptr, 0, PA_SEEK_RELATIVE);
        written_ += static_cast<long long>(done);
        bytes -= done * frameBytes_;
      }
      if (queue_.empty()) {
        RunDry();
        return;
      }
    }
  }

  // Everything queued is handed over: the stream corks once it has been
  // heard, unless a file comes first to follow it.
  void RunDry() {
    if (drain_) return;
    drain_ = pa_stream_drain(
        stream_,
        [](pa_stream*, int success, void* data) {
          auto* self = static_cast<ServerOutput*>(data);
          if (self->drain_) {
            pa_operation_unref(self->drain_);
            self->drain_ = nullptr;
          }
          pa_threaded_mainloop_signal(self->server_->Loop(), 0);
          if (!success || !self->queue_.empty()) return;
          self->idle_ = true;
          self->Apply();
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
  pa_sample_spec spec_;
  pa_stream* stream_ = nullptr;
  size_t frameBytes_ = 0;
  std::deque<std::shared_ptr<Track>> queue_;
  pa_operation* drain_ = nullptr;
  long long written_ = 0;
  long long played_ = 0;
  bool running_ = false;
  bool uncorked_ = false;
  bool idle_ = true;
  bool ready_ = false;
  std::atomic<bool> lost_{false};
};

// Plays into nothing at the pace of the clock, so positions and ends come
// as they would through a sound card. One per file: nothing is heard, so
// nothing is joined.
class ClockOutput : public Output {
 public:
  ClockOutput(int rate, int channels) : rate_(rate), channels_(channels), thread_([this] { Loop(); }) {}
  ~ClockOutput() override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void Queue(std::shared_ptr<Track> track) override {
    std::lock_guard lock(mutex_);
    track->startAt = track->endAt = -1;
    queue_.push_back(std::move(track));
    wake_.notify_all();
  }
  void Run(bool on) override {
    std::lock_guard lock(mutex_);
    if (on == running_) return;
    running_ = on;
    if (on) start_ = Clock::now() - FramesToTime(played_);
    wake_.notify_all();
  }
  void Restart(const std::shared_ptr<Track>& track, const std::function<void()>& reposition) override {
    std::lock_guard lock(mutex_);
    reposition();
    queue_.clear();
    track->startAt = track->endAt = -1;
    queue_.push_back(track);
    played_ = 0;
    start_ = Clock::now();
    wake_.notify_all();
  }
  void Drop(const std::shared_ptr<Track>& track) override {
    std::lock_guard lock(mutex_);
    queue_.erase(std::remove(queue_.begin(), queue_.end(), track), queue_.end());
  }
  long long HeardOf(const Track& track) override {
    std::lock_guard lock(mutex_);
    if (track.startAt < 0) return 0;
    long long heard = played_ - track.startAt;
    if (track.endAt >= 0) heard = std::min(heard, track.endAt - track.startAt);
    return std::max(0LL, heard);
  }
  bool Takes(int, int) override { return false; }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::duration FramesToTime(long long frames) const {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(double(frames) / rate_));
  }
  void Loop() {
    std::vector<float> scratch(4096 * static_cast<size_t>(channels_));
    std::unique_lock lock(mutex_);
    while (!quit_) {
      if (!running_ || queue_.empty()) {
        wake_.wait(lock);
        continue;
      }
      double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
      long long due = static_cast<long long>(elapsed * rate_) - played_;
      while (due > 0 && !queue_.empty()) {
        const std::shared_ptr<Track>& track = queue_.front();
        if (track->startAt < 0) track->startAt = played_;
        size_t ask = static_cast<size_t>(std::min<long long>(due, 4096));
        size_t got = track->Pull(scratch.data(), ask);
        played_ += static_cast<long long>(got);
        due -= static_cast<long long>(got);
        if (got < ask) {
          track->endAt = played_;
          auto ended = track;
          queue_.pop_front();
          ended->fed();
        }
      }
      wake_.wait_for(lock, std::chrono::milliseconds(10));
    }
  }

  const int rate_;
  const int channels_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::shared_ptr<Track>> queue_;
  bool quit_ = false;
  bool running_ = false;
  long long played_ = 0;
  Clock::time_point start_ = Clock::now();
  std::thread thread_;
};

}  // namespace

std::shared_ptr<Output> ServerOutputFor(const std::shared_ptr<SoundServer>& server,
                                        const std::shared_ptr<Output>& before, int rate, int channels,
                                        const std::string& name) {
  if (before && before->users == 0 && before->Takes(rate, channels)) return before;
  if (auto last = std::dynamic_pointer_cast<ServerOutput>(before); last && before->users == 0) last->WaitSilent();
  auto out = std::make_shared<ServerOutput>(server, rate, channels);
  if (!out->Connect(name)) return nullptr;
  return out;
}

std::shared_ptr<Output> ClockOutputFor(int rate, int channels) { return std::make_shared<ClockOutput>(rate, channels); }

}  // namespace qel::engine
