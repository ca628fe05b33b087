// Where the decoders' sound goes: one stream on the sound server, kept from
// one file to the next so that a file of the same rate and channels follows
// the last sample of the one before with nothing between (gapless), or a
// clock that plays into nothing at the pace of a sound card
// (QEL_AUDIO_OUTPUT=null). The volume and a file's gain are applied as its
// samples are handed over, so the first sample is already at the level set.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "engine/decoder.h"

namespace qel::engine {

class SoundServer;

// One file's sound as an output takes it. The output reads it on its own
// thread; the marks below are set there, under the output's lock.
struct Track {
  explicit Track(std::unique_ptr<Decoder> d) : decoder(std::move(d)) {}
  std::unique_ptr<Decoder> decoder;
  std::atomic<float> gain{1.0f};  // the volume's and the file's together
  // The output's count of frames at this track's first and after its last
  // frame handed over; -1 until then. The count starts again at a restart.
  long long startAt = -1;
  long long endAt = -1;
  // Called where the output feeds, once the last frame is handed over.
  std::function<void()> fed;

  size_t Pull(float* out, size_t frames);
};

class Output {
 public:
  virtual ~Output() = default;
  // Puts a track after those the output has; it is heard when they are.
  virtual void Queue(std::shared_ptr<Track> track) = 0;
  virtual void Run(bool on) = 0;
  // Drops what the output has queued and holds, runs `reposition` while
  // nothing feeds, and queues `track` again alone; the count starts at 0.
  virtual void Restart(const std::shared_ptr<Track>& track, const std::function<void()>& reposition) = 0;
  // Takes a track out before it is heard to its end (a stop, a jump), and
  // silences the output at once.
  virtual void Drop(const std::shared_ptr<Track>& track) = 0;
  // Frames of the track heard so far (since the last restart).
  virtual long long HeardOf(const Track& track) = 0;
  // Whether the output can play no more (the server went away).
  virtual bool Lost() { return false; }
  // Whether a file of this rate and channels can follow the sound queued.
  virtual bool Takes(int rate, int channels) = 0;
  // The devices that have this output for a file not yet handed over whole:
  // while any has, a device of another alias gets an output of its own.
  std::atomic<int> users{0};
};

// QEL_AUDIO_OUTPUT: unset (or "pulse") plays through the sound server,
// "null" through a clock that hears nothing; any other value names one of
// libmpv's outputs, which then plays everything.
enum class Route { Server, Clock, Mpv };
Route OutputRoute();

// Whether the sound server answers, on the engine's connection to it (made
// at the first file that asks, and kept): Absent when there is none, Hung
// when one is there but does not answer within a bound.
enum class ServerAnswer { Yes, Absent, Hung };
ServerAnswer AskSoundServer(std::shared_ptr<SoundServer>* server);

// A stream for this rate and channels on the server: `before`, the output
// the last file played on, when it takes them and no device holds it;
// otherwise a new one, made once `before` has been heard to its end (two
// rates never sound at once). nullptr when the server refuses the stream
// or does not answer in time.
std::shared_ptr<Output> ServerOutputFor(const std::shared_ptr<SoundServer>& server,
                                        const std::shared_ptr<Output>& before, int rate, int channels,
                                        const std::string& name);
std::shared_ptr<Output> ClockOutputFor(int rate, int channels);

}  // namespace qel::engine
