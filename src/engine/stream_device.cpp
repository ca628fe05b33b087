// Sampled sound without libmpv: a decoder made for the file's format and the
// engine's own output (the sound server, or a clock for the null output).
// libmpv and the FFmpeg libraries it brings (a few hundred libraries, tens of
// megabytes) stay unloaded while such files play. Files no decoder takes go
// to libmpv; so does everything when libmpv's own output is asked for.
#include <algorithm>
#include <atomic>
#include <cmath>

#include "engine/decoder.h"
#include "engine/engine_internal.h"
#include "engine/loudness.h"
#include "engine/sound_output.h"

namespace qel::engine {
namespace {

class StreamDevice : public Device {
 public:
  StreamDevice(Engine::Impl* owner, std::string alias, unsigned long long gen, std::unique_ptr<Decoder> decoder,
               std::string path)
      : Device(owner, std::move(alias), gen), track_(std::make_shared<Track>(std::move(decoder))),
        path_(std::move(path)) {}
  ~StreamDevice() override {
    // A file not yet handed over whole stops sounding with its device; the
    // end of one that was goes on under the next file's first samples.
    if (queued_) output_->Drop(track_);
    ReleaseOutput();
  }

  // Takes the output the file plays on; the file is handed to it when it
  // first plays, so every sample it gets is at the volume set by then.
  void Attach(std::shared_ptr<Output> output) {
    output_ = std::move(output);
    ++output_->users;
    holdsOutput_ = true;
    level_ = owner_->waveVolume;
    RefreshVolume();
    // Called where the output feeds: the place counted since the last seek
    // is the one of the sound that was handed over.
    track_->fed = [marks = marks_, owner = owner_, key = Lower(alias_), gen = generation_] {
      const long long epoch = marks->epoch;
      marks->fedEpoch = epoch;
      owner->PostToDevice(key, gen, [epoch](Device& d) { static_cast<StreamDevice&>(d).Fed(epoch); });
    };
  }

  void Pump() override {
    if (marks_->fedEpoch == marks_->epoch) Fed(marks_->epoch);
  }
  Mode CurrentMode() override { return mode_; }
  long long LengthMs() override { return FramesToMs(Decoder().Frames(), Decoder().Rate()); }
  long long PositionMs() override {
    if (atEnd_) return LengthMs();
    if (frozen_) return *frozen_;
    return std::clamp(FramesToMs(base_ + output_->HeardOf(*track_), Decoder().Rate()), 0LL, LengthMs());
  }
  int Play(std::optional<long long> from) override {
    if (from) SeekTo(*from);
    if (atEnd_ || Failed() || PositionMs() >= LengthMs()) {
      EndedBeforePlaying();
      return 0;
    }
    if (!queued_) {
      output_->Queue(track_);
      queued_ = true;
    }
    frozen_.reset();
    output_->Run(true);
    mode_ = Mode::Playing;
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
  void RefreshVolume() override {
    const double file = ReplayGainFactor(Decoder().Gains(), owner_->replayGain);
    track_->gain = static_cast<float>(LoudnessGain(level_) * file);
  }
  bool FollowsWaveVolume() const override { return true; }
  std::string PlayingPath() const override { return path_; }

 private:
  engine::Decoder& Decoder() const { return *track_->decoder; }

  // Stops the sound where it is; the device answers that place until it
  // plays again.
  void Hold(Mode mode) {
    frozen_ = PositionMs();
    output_->Run(false);
    mode_ = mode;
  }
  void SeekTo(long long ms) {
    ms = std::clamp(ms, 0LL, LengthMs());
    const long long frame = std::min(Decoder().Frames(), ms * Decoder().Rate() / 1000);
    if (!holdsOutput_) {
      ++output_->users;
      holdsOutput_ = true;
    }
    output_->Restart(track_, [&] {
      ++marks_->epoch;
      Decoder().Seek(frame);
    });
    queued_ = true;
    base_ = frame;
    atEnd_ = false;
    frozen_ = ms;
  }
  bool Failed() const { return Decoder().Failed() || output_->Lost(); }
  void EndedBeforePlaying() {
    mode_ = Mode::Stopped;
    Complete(Failed() ? kNotifyFailure : kNotifySuccessful);
  }
  // The file's last sample has been handed over (with the null output:
  // heard). The end is told now, while the server still plays what it
  // holds, so that the next file opens in time to follow it.
  void Fed(long long epoch) {
    if (epoch != marks_->epoch || atEnd_) return;
    atEnd_ = true;
    queued_ = false;
    ReleaseOutput();
    if (mode_ != Mode::Playing) return;
    EndedBeforePlaying();
  }
  void ReleaseOutput() {
    if (!holdsOutput_) return;
    --output_->users;
    holdsOutput_ = false;
  }

  struct Marks {
    std::atomic<long long> epoch{0};     // counts the seeks
    std::atomic<long long> fedEpoch{-1};  // the seek after which the end was handed over
  };
  std::shared_ptr<Track> track_;
  std::string path_;
  std::shared_ptr<Output> output_;
  std::shared_ptr<Marks> marks_ = std::make_shared<Marks>();
  Mode mode_ = Mode::Stopped;
  long long base_ = 0;  // the frame the output's count starts from
  bool atEnd_ = false;
  bool queued_ = false;       // the output has the track to play
  bool holdsOutput_ = false;  // counted among the output's users
  std::optional<long long> frozen_{0};  // what a device that does not play answers
};

}  // namespace

int OpenStreamDevice(Engine::Impl* owner, const std::string& alias, unsigned long long generation,
                     const std::string& path, std::unique_ptr<Device>* out) {
  const Route route = OutputRoute();
  if (route == Route::Mpv || !ForDecoders(path)) return kErrUnsupportedFunction;
  auto decoder = OpenDecoder(path);
  if (!decoder) return kErrUnsupportedFunction;
  const int rate = decoder->Rate(), channels = decoder->Channels();
  auto d = std::make_unique<StreamDevice>(owner, alias, generation, std::move(decoder), path);
  if (route == Route::Clock) {
    d->Attach(ClockOutputFor(rate, channels));
  } else {
    switch (AskSoundServer(&owner->soundServer)) {
      case ServerAnswer::Hung: return kErrDeviceOpen;
      case ServerAnswer::Absent: return kErrUnsupportedFunction;  // libmpv finds its own way out
      case ServerAnswer::Yes: break;
    }
    const size_t slash = path.rfind('/');
    auto output = ServerOutputFor(owner->soundServer, owner->soundOutput, rate, channels,
                                  path.substr(slash == std::string::npos ? 0 : slash + 1));
    if (!output) return kErrDeviceOpen;
    owner->soundOutput = output;
    d->Attach(std::move(output));
  }
  *out = std::move(d);
  return 0;
}

bool SoundServerHung(Engine::Impl* owner) {
  return OutputRoute() == Route::Server && AskSoundServer(&owner->soundServer) == ServerAnswer::Hung;
}

}  // namespace qel::engine
