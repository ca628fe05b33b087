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
  virtual void SetVolume(double volume) = 0;  // 0..1, the product of every volume in force
};

// Product names: index 0 the built-in synthesizer, then ALSA sequencer
// output ports.
std::vector<std::string> ListMidiOutputs();
// nullptr when the index names no device or it cannot be opened.
std::shared_ptr<MidiOutput> OpenMidiOutput(int index);
// Peak level produced by the built-in synthesizer since the last call.
double TakeSynthPeak();

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
