// Ogg Opus through opusfile: always 48 kHz, the pre-skip left out and the
// header's output gain applied by opusfile itself. Its loudness tags are
// R128 gains against -23 LUFS; ReplayGain's reference lies 5 dB higher.
#include <opus/opusfile.h>

#include "engine/decoder.h"

namespace qel::engine {
namespace {

constexpr int kOpusRate = 48000;
constexpr double kR128ToReplayGainDb = 5.0;

class OpusDecoder : public Decoder {
 public:
  ~OpusDecoder() override {
    if (file_) op_free(file_);
  }

  static std::unique_ptr<Decoder> Open(const std::string& path) {
    auto d = std::unique_ptr<OpusDecoder>(new OpusDecoder);
    int err = 0;
    d->file_ = op_open_file(path.c_str(), &err);
    if (!d->file_ || !op_seekable(d->file_)) return nullptr;
    d->rate_ = kOpusRate;
    d->channels_ = op_channel_count(d->file_, 0);
    // Beyond stereo Opus orders its channels as Vorbis does; every link of a
    // chain must play on one stream.
    if (d->channels_ < 1 || d->channels_ > 2) return nullptr;
    for (int link = 1; link < op_link_count(d->file_); ++link)
      if (op_channel_count(d->file_, link) != d->channels_) return nullptr;
    d->frames_ = op_pcm_total(d->file_, -1);
    if (d->frames_ <= 0) return nullptr;
    if (const OpusTags* tags = op_tags(d->file_, 0)) {
      int q8 = 0;
      if (opus_tags_get_track_gain(tags, &q8) == 0) d->gains_.trackGain = q8 / 256.0 + kR128ToReplayGainDb;
      if (opus_tags_get_album_gain(tags, &q8) == 0) d->gains_.albumGain = q8 / 256.0 + kR128ToReplayGainDb;
    }
    return d;
  }

  size_t Read(float* out, size_t frames) override {
    size_t done = 0;
    int holes = 0;
    while (done < frames) {
      int got = op_read_float(file_, out + done * channels_, static_cast<int>((frames - done) * channels_), nullptr);
      if (got == 0) break;
      if (got == OP_HOLE && ++holes < 64) continue;  // damage: opusfile goes on past it
      if (got < 0) {
        failed_ = true;
        break;
      }
      done += static_cast<size_t>(got);
    }
    return done;
  }

  bool Seek(long long frame) override { return op_pcm_seek(file_, frame) == 0; }

 private:
  OpusDecoder() = default;
  OggOpusFile* file_ = nullptr;
};

}  // namespace

std::unique_ptr<Decoder> OpenOpusDecoder(const std::string& path) { return OpusDecoder::Open(path); }

}  // namespace qel::engine
