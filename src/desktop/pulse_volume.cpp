#include "desktop/pulse_volume.h"

#include <dlfcn.h>
#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/rtclock.h>
#include <pulse/sample.h>
#include <pulse/timeval.h>
#include <pulse/thread-mainloop.h>
#include <pulse/volume.h>

#include <algorithm>
#include <cmath>

namespace qel::desktop {

namespace {

// libpulse is opened the first time the master volume is asked for, not
// linked: with the dozen libraries it brings (sound file codecs among them)
// it would be mapped at every start although most players never link their
// slider to the system's volume.
#define QEL_PULSE_FUNCTIONS(X) \
  X(pa_context_connect) \
  X(pa_context_disconnect) \
  X(pa_context_get_sink_info_by_name) \
  X(pa_context_get_state) \
  X(pa_context_new) \
  X(pa_context_rttime_new) \
  X(pa_context_set_sink_volume_by_index) \
  X(pa_context_set_state_callback) \
  X(pa_context_unref) \
  X(pa_cvolume_max) \
  X(pa_cvolume_set) \
  X(pa_cvolume_valid) \
  X(pa_operation_cancel) \
  X(pa_operation_get_state) \
  X(pa_operation_unref) \
  X(pa_rtclock_now) \
  X(pa_threaded_mainloop_free) \
  X(pa_threaded_mainloop_get_api) \
  X(pa_threaded_mainloop_lock) \
  X(pa_threaded_mainloop_new) \
  X(pa_threaded_mainloop_signal) \
  X(pa_threaded_mainloop_start) \
  X(pa_threaded_mainloop_stop) \
  X(pa_threaded_mainloop_unlock) \
  X(pa_threaded_mainloop_wait)

struct PulseLibrary {
#define X(name) decltype(&::name) name = nullptr;
  QEL_PULSE_FUNCTIONS(X)
#undef X
  bool loaded = false;
};

PulseLibrary Open() {
  PulseLibrary lib;
  void* handle = dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!handle) return lib;
#define X(name) lib.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));
  QEL_PULSE_FUNCTIONS(X)
#undef X
  lib.loaded = true;
#define X(name) lib.loaded = lib.loaded && lib.name != nullptr;
  QEL_PULSE_FUNCTIONS(X)
#undef X
  return lib;
}

// Loaded once; stays loaded, as libpulse's own threads may outlive a call.
const PulseLibrary& Lib() {
  static const PulseLibrary lib = Open();
  return lib;
}

// The server resolves this name to whatever sink is the default at the
// moment of the request, which saves asking for the server's info first.
constexpr const char* kDefaultSink = "@DEFAULT_SINK@";

// Holds the loop's lock for one call; libpulse's thread runs every callback
// under it, so state shared with the callbacks is touched only while held.
class LoopLock {
 public:
  explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) { Lib().pa_threaded_mainloop_lock(loop_); }
  ~LoopLock() { Lib().pa_threaded_mainloop_unlock(loop_); }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  pa_threaded_mainloop* loop_;
};

struct SinkAnswer {
  pa_threaded_mainloop* loop = nullptr;
  bool found = false;
  uint32_t index = 0;
  pa_cvolume volume{};
};

void OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
  auto* answer = static_cast<SinkAnswer*>(userdata);
  if (eol == 0 && info && !answer->found) {
    answer->found = true;
    answer->index = info->index;
    answer->volume = info->volume;
  }
  Lib().pa_threaded_mainloop_signal(answer->loop, 0);
}

struct SetAnswer {
  pa_threaded_mainloop* loop = nullptr;
  bool success = false;
};

void OnSet(pa_context*, int success, void* userdata) {
  auto* answer = static_cast<SetAnswer*>(userdata);
  answer->success = success != 0;
  Lib().pa_threaded_mainloop_signal(answer->loop, 0);
}

void OnStateChange(pa_context*, void* userdata) {
  Lib().pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(userdata), 0);
}

// The server counts 65536 units to 100%, the player whole thousandths, and
// the player truncates what it reads: 40% set in a mixer is 26214 units,
// 0.39999, and would come back as 399. A level within one unit of a
// thousandth is therefore read as that thousandth exactly; any other level
// is passed on as it is.
double LevelOfUnits(pa_volume_t units) {
  if (units >= PA_VOLUME_NORM) return 1.0;
  double perThousand = static_cast<double>(PA_VOLUME_NORM) / 1000.0;
  double thousandths = std::round(units / perThousand);
  if (std::fabs(units - thousandths * perThousand) <= 1.0) return thousandths / 1000.0;
  return static_cast<double>(units) / PA_VOLUME_NORM;
}

}  // namespace

// The one deadline of a call. pa_threaded_mainloop_wait() has no timeout of
// its own, so a timer on the loop wakes the waiting caller when it is due.
struct PulseVolume::Call {
  pa_threaded_mainloop* loop;
  pa_usec_t deadline;
  pa_time_event* alarm = nullptr;
  bool rang = false;  // the server let the deadline pass

  Call(pa_threaded_mainloop* l, std::chrono::milliseconds timeout)
      : loop(l), deadline(Lib().pa_rtclock_now() + static_cast<pa_usec_t>(timeout.count()) * PA_USEC_PER_MSEC) {}
  ~Call() {
    if (alarm) Lib().pa_threaded_mainloop_get_api(loop)->time_free(alarm);
  }
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  static void Ring(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    auto* call = static_cast<Call*>(userdata);
    call->rang = true;
    Lib().pa_threaded_mainloop_signal(call->loop, 0);
  }

  // The timer needs a context for its clock; the first wait of the call
  // sets it, and it outlives the context it was made with.
  void Arm(pa_context* context) {
    if (alarm) return;
    if (Lib().pa_rtclock_now() >= deadline || !(alarm = Lib().pa_context_rttime_new(context, deadline, Ring, this))) rang = true;
  }

  // Waits for the next event of the loop; false when the deadline has come.
  bool Wait(pa_context* context) {
    Arm(context);
    if (rang) return false;
    Lib().pa_threaded_mainloop_wait(loop);
    return true;
  }
};

PulseVolume::PulseVolume(std::chrono::milliseconds timeout, std::chrono::milliseconds quiet)
    : timeout_(timeout), quiet_(quiet) {}

PulseVolume::~PulseVolume() {
  if (!loop_) return;
  {
    LoopLock lock(loop_);
    Drop();
  }
  Lib().pa_threaded_mainloop_stop(loop_);
  Lib().pa_threaded_mainloop_free(loop_);
}

bool PulseVolume::StartLoop() {
  if (loop_) return true;
  if (loopFailed_) return false;
  if (!Lib().loaded) {
    loopFailed_ = true;
    return false;
  }
  loop_ = Lib().pa_threaded_mainloop_new();
  if (loop_ && Lib().pa_threaded_mainloop_start(loop_) == 0) return true;
  if (loop_) Lib().pa_threaded_mainloop_free(loop_);
  loop_ = nullptr;
  loopFailed_ = true;
  return false;
}

void PulseVolume::Drop() {
  if (!context_) return;
  Lib().pa_context_set_state_callback(context_, nullptr, nullptr);
  Lib().pa_context_disconnect(context_);
  Lib().pa_context_unref(context_);
  context_ = nullptr;
}

void PulseVolume::GoQuiet() {
  Drop();
  quietUntil_ = std::chrono::steady_clock::now() + quiet_;
}

bool PulseVolume::Connect(Call& call) {
  if (context_) {
    pa_context_state_t state = Lib().pa_context_get_state(context_);
    if (state == PA_CONTEXT_READY) return true;
    // The server went away (or never finished the handshake): start over,
    // it may have come back.
    Drop();
  }
  context_ = Lib().pa_context_new(Lib().pa_threaded_mainloop_get_api(loop_), "Qel");
  if (!context_) return false;
  Lib().pa_context_set_state_callback(context_, OnStateChange, loop_);
  if (Lib().pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    Drop();
    return false;
  }
  for (;;) {
    pa_context_state_t state = Lib().pa_context_get_state(context_);
    if (state == PA_CONTEXT_READY) return true;
    if (!PA_CONTEXT_IS_GOOD(state)) {
      Drop();
      return false;
    }
    if (!call.Wait(context_)) {
      GoQuiet();
      return false;
    }
  }
}

bool PulseVolume::Finish(Call& call, pa_operation* operation) {
  if (!operation) return false;
  while (Lib().pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
    if (!call.Wait(context_)) {
      // Cancelled under the lock, its callback can no longer run and reach
      // the caller's answer after the caller has returned.
      Lib().pa_operation_cancel(operation);
      Lib().pa_operation_unref(operation);
      GoQuiet();
      return false;
    }
  }
  bool done = Lib().pa_operation_get_state(operation) == PA_OPERATION_DONE;
  Lib().pa_operation_unref(operation);
  return done;
}

std::optional<double> PulseVolume::Volume() {
  if (std::chrono::steady_clock::now() < quietUntil_ || !StartLoop()) return std::nullopt;
  LoopLock lock(loop_);
  Call call(loop_, timeout_);
  if (!Connect(call)) return std::nullopt;
  SinkAnswer answer;
  answer.loop = loop_;
  if (!Finish(call, Lib().pa_context_get_sink_info_by_name(context_, kDefaultSink, OnSinkInfo, &answer)) || !answer.found ||
      !Lib().pa_cvolume_valid(&answer.volume))
    return std::nullopt;
  // The loudest channel rather than the average, as the desktop's mixers
  // show a sink's one level and as the server scales a sink when given one
  // value: a read followed by a set of the same value leaves the loudest
  // channel where it was, where an average would turn a balanced sink
  // down. The mixers' scale
  // is this one (100% at PA_VOLUME_NORM), so the fraction is what the user
  // sees there. Amplification above 100% has no place on a 0..1 scale.
  return LevelOfUnits(Lib().pa_cvolume_max(&answer.volume));
}

bool PulseVolume::SetVolume(double volume) {
  if (std::isnan(volume)) return false;
  volume = std::clamp(volume, 0.0, 1.0);
  if (std::chrono::steady_clock::now() < quietUntil_ || !StartLoop()) return false;
  LoopLock lock(loop_);
  Call call(loop_, timeout_);
  if (!Connect(call)) return false;
  // The sink's own channel count keeps its channel map; addressing it by
  // index keeps the pair of requests on one sink should the default change
  // between them.
  SinkAnswer sink;
  sink.loop = loop_;
  if (!Finish(call, Lib().pa_context_get_sink_info_by_name(context_, kDefaultSink, OnSinkInfo, &sink)) || !sink.found ||
      sink.volume.channels == 0)
    return false;
  auto units = static_cast<pa_volume_t>(std::lround(volume * PA_VOLUME_NORM));
  pa_cvolume target;
  Lib().pa_cvolume_set(&target, sink.volume.channels, units);
  SetAnswer answer;
  answer.loop = loop_;
  return Finish(call, Lib().pa_context_set_sink_volume_by_index(context_, sink.index, &target, OnSet, &answer)) &&
         answer.success;
}

}  // namespace qel::desktop
