// MIDI playback: the outputs (the built-in FluidSynth synthesizer, ALSA
// sequencer ports) and the sequencer that plays a Song on one of them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/smf.h"

namespace qel::engine {

class MidiOutput {
 public:
  virtual ~MidiOutput() = default;
  virtual void Send(const MidiEvent& event) = 0;
  // All notes off and controllers reset on every channel.
  void Silence();
  // An amplitude factor 0..1 (the loudness curve already applied).
  virtual void SetVolume(double gain) = 0;
};

// The outputs behind index 1 and up: the ALSA sequencer's ports, unless a
// program puts a list of its own in their place (a machine without a
// sequencer device can still drive the whole MIDI path that way).
class MidiPortList {
 public:
  virtual ~MidiPortList() = default;
  virtual std::vector<std::string> Names() = 0;
  // nullptr when the port is gone or cannot be reached.
  virtual std::shared_ptr<MidiOutput> Open(size_t index) = 0;
};
// nullptr puts the ALSA sequencer's ports back.
void ReplaceMidiPorts(std::shared_ptr<MidiPortList> ports);

// Product names: index 0 the built-in synthesizer, then the ports.
std::vector<std::string> ListMidiOutputs();
// nullptr when the index names no device or it cannot be opened. Index 0
// loads the synthesizer's SoundFont at its first use.
std::shared_ptr<MidiOutput> OpenMidiOutput(int index);
// Whether a song could sound anywhere: a SoundFont for the synthesizer is
// there, or a port is. Loads nothing.
bool AnyMidiOutput();
// The synthesizer's SoundFont: $QEL_SOUNDFONT when set (a user's own), else
// the first General MIDI one of the system; empty when there is none.
std::string SoundFontPath();
// Peak level produced by the built-in synthesizer since the last call.
double TakeSynthPeak();
// The velocity a port is sent for a note at a volume scale: never 0 for a
// sounding note while the scale is above 0 (0 would end the note).
int ScaledVelocity(int velocity, double scale);

class Sequencer {
 public:
  // onEnd runs on the sequencer's thread when the song has played to its end.
  Sequencer(Song song, std::shared_ptr<MidiOutput> output, std::function<void()> onEnd);
  ~Sequencer();
  void SetOutput(std::shared_ptr<MidiOutput> output);
  void Play();
  void Pause();
  void Seek(double ms);  // leaves the sequencer stopped at ms
  double PositionMs();
  double LengthMs() const { return song_.lengthMs; }
  bool Playing();
  bool AtEnd();

 private:
  void Run();
  void ChaseTo(size_t index);
  double NowPositionLocked();

  Song song_;
  std::shared_ptr<MidiOutput> output_;
  std::function<void()> onEnd_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool playing_ = false;
  bool quit_ = false;
  double basePos_ = 0;
  std::chrono::steady_clock::time_point baseTime_;
  size_t next_ = 0;
  std::thread thread_;
};

}  // namespace qel::engine
