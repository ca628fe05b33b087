// Plain sample files (WAV, RF64, AIFF, AU) through libsndfile, which knows
// their chunks and sample formats; the length is their sample count.
#include <sndfile.h>

#include "engine/decoder.h"

namespace qel::engine {
namespace {

constexpr int kMostChannels = 32;  // the sound server's own bound

class PcmDecoder : public Decoder {
 public:
  ~PcmDecoder() override {
    if (file_) sf_close(file_);
  }

  static std::unique_ptr<Decoder> Open(const std::string& path) {
    auto d = std::unique_ptr<PcmDecoder>(new PcmDecoder);
    SF_INFO info{};
    d->file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (!d->file_) return nullptr;
    switch (info.format & SF_FORMAT_TYPEMASK) {
      case SF_FORMAT_WAV: case SF_FORMAT_WAVEX: case SF_FORMAT_RF64: case SF_FORMAT_W64:
      case SF_FORMAT_AIFF: case SF_FORMAT_AU: break;
      default: return nullptr;
    }
    if (info.frames <= 0 || info.frames == SF_COUNT_MAX || info.samplerate <= 0 || info.channels <= 0 ||
        info.channels > kMostChannels || !info.seekable)
      return nullptr;
    d->rate_ = info.samplerate;
    d->channels_ = info.channels;
    d->frames_ = info.frames;
    return d;
  }

  size_t Read(float* out, size_t frames) override {
    sf_count_t got = sf_readf_float(file_, out, static_cast<sf_count_t>(frames));
    if (got < 0) got = 0;
    if (static_cast<size_t>(got) < frames && sf_error(file_) != SF_ERR_NO_ERROR) failed_ = true;
    return static_cast<size_t>(got);
  }
  bool Seek(long long frame) override { return sf_seek(file_, frame, SEEK_SET) >= 0; }

 private:
  PcmDecoder() = default;
  SNDFILE* file_ = nullptr;
};

}  // namespace

std::unique_ptr<Decoder> OpenPcmDecoder(const std::string& path) { return PcmDecoder::Open(path); }

}  // namespace qel::engine
