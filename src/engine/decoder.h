// One file's sound as the sound-server path plays it: a decoder made for its
// format (libmpg123, libFLAC, vorbisfile, opusfile, libsndfile for PCM)
// behind one small interface. A decoder states the length it plays: Read
// gives exactly Frames() frames from the start to the end of the file, give
// or take one frame of the format's own. The length probe asks the same
// decoder, so the slider and the sound never disagree.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "core/platform.h"

namespace qel::engine {

// The loudness tags a file carries, in ReplayGain's terms: gains in dB
// against its reference level, peaks as linear sample amplitudes.
struct GainTags {
  std::optional<double> trackGain, trackPeak, albumGain, albumPeak;
};

// The factor a file plays at under a mode: its gain, held down so that its
// peak never goes past full scale. 1 without tags or with the mode off. An
// album gain stands in for a missing track gain and the other way round.
double ReplayGainFactor(const GainTags& tags, ReplayGain mode);

// Reads one tag ("REPLAYGAIN_TRACK_GAIN=-6.5 dB" or its parts) into tags;
// names are compared without regard to case, values as the taggers write
// them ("-6.50 dB", "0.988"). Anything else is left alone.
void ReadGainTag(std::string name, const std::string& value, GainTags* tags);

class Decoder {
 public:
  virtual ~Decoder() = default;
  int Rate() const { return rate_; }
  int Channels() const { return channels_; }
  long long Frames() const { return frames_; }
  const GainTags& Gains() const { return gains_; }

  // Up to `frames` interleaved frames in [-1, 1]; fewer only at the end of
  // the file, or where it can be read no further (Failed() then says so).
  virtual size_t Read(float* out, size_t frames) = 0;
  // The next Read starts at this frame (0 .. Frames()).
  virtual bool Seek(long long frame) = 0;
  bool Failed() const { return failed_; }

 protected:
  int rate_ = 0;
  int channels_ = 0;
  long long frames_ = 0;
  GainTags gains_;
  bool failed_ = false;
};

// The decoder for a file, chosen by its extension and what it holds; nullptr
// when none of them is for it (a picture in an Ogg file, a format or channel
// layout the sound-server path does not play, a file it cannot read):
// libmpv plays it then.
std::unique_ptr<Decoder> OpenDecoder(const std::string& path);

// Whether a file's extension is one the decoders may take.
bool ForDecoders(const std::string& path);

// The length a decoder would play, in milliseconds; measured once for a
// path while the file's size and modification time stay the same.
std::optional<long long> DecodedLengthMs(const std::string& path);

// Each format's own opener, chosen by OpenDecoder.
std::unique_ptr<Decoder> OpenMp3Decoder(const std::string& path);
std::unique_ptr<Decoder> OpenFlacDecoder(const std::string& path);
std::unique_ptr<Decoder> OpenVorbisDecoder(const std::string& path);
std::unique_ptr<Decoder> OpenOpusDecoder(const std::string& path);
std::unique_ptr<Decoder> OpenPcmDecoder(const std::string& path);

inline long long FramesToMs(long long frames, int rate) {
  return rate > 0 ? (frames * 1000 + rate / 2) / rate : 0;
}

}  // namespace qel::engine
