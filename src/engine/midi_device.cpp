// The sequencer device: a Standard MIDI File played by the engine's own
// sequencer on the built-in synthesizer or an ALSA sequencer port.
#include <cmath>

#include "engine/backends.h"
#include "engine/loudness.h"
#include "engine/midi.h"
#include "engine/smf.h"

namespace qel::engine {
namespace {

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
  int MidiPort() const override { return port_; }
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


}  // namespace

const MidiBackend kMidiBackend{
    &LoadDevice<MidiDevice>,
    &ListMidiOutputs,
    &TakeSynthPeak,
};

}  // namespace qel::engine
