// Ogg Vorbis through vorbisfile: sample-exact seeks, chained streams played
// as one, the length from the granule positions of the last pages.
#include <vorbis/vorbisfile.h>

#include <algorithm>

#include "engine/decoder.h"

namespace qel::engine {
namespace {

class VorbisDecoder : public Decoder {
 public:
  ~VorbisDecoder() override {
    if (open_) ov_clear(&file_);
  }

  static std::unique_ptr<Decoder> Open(const std::string& path) {
    auto d = std::unique_ptr<VorbisDecoder>(new VorbisDecoder);
    if (ov_fopen(path.c_str(), &d->file_) != 0) return nullptr;
    d->open_ = true;
    vorbis_info* info = ov_info(&d->file_, 0);
    if (!info || !ov_seekable(&d->file_)) return nullptr;
    d->rate_ = static_cast<int>(info->rate);
    d->channels_ = info->channels;
    // Beyond stereo Vorbis orders its channels its own way; every link of a
    // chain must play on one stream.
    if (d->channels_ < 1 || d->channels_ > 2 || d->rate_ <= 0) return nullptr;
    for (long link = 1; link < ov_streams(&d->file_); ++link) {
      vorbis_info* other = ov_info(&d->file_, static_cast<int>(link));
      if (!other || other->rate != info->rate || other->channels != info->channels) return nullptr;
    }
    d->frames_ = ov_pcm_total(&d->file_, -1);
    if (d->frames_ <= 0) return nullptr;
    if (vorbis_comment* tags = ov_comment(&d->file_, 0)) {
      for (int i = 0; i < tags->comments; ++i) {
        std::string entry(tags->user_comments[i], static_cast<size_t>(tags->comment_lengths[i]));
        auto eq = entry.find('=');
        if (eq != std::string::npos) ReadGainTag(entry.substr(0, eq), entry.substr(eq + 1), &d->gains_);
      }
    }
    return d;
  }

  size_t Read(float* out, size_t frames) override {
    size_t done = 0;
    int holes = 0;
    while (done < frames) {
      float** pcm = nullptr;
      int link = 0;
      long got = ov_read_float(&file_, &pcm, static_cast<int>(std::min<size_t>(frames - done, 4096)), &link);
      if (got == 0) break;
      if (got == OV_HOLE && ++holes < 64) continue;  // damage: vorbisfile goes on past it
      if (got < 0) {
        failed_ = true;
        break;
      }
      for (long i = 0; i < got; ++i)
        for (int c = 0; c < channels_; ++c) out[(done + i) * channels_ + c] = pcm[c][i];
      done += static_cast<size_t>(got);
    }
    return done;
  }

  bool Seek(long long frame) override { return ov_pcm_seek(&file_, frame) == 0; }

 private:
  VorbisDecoder() = default;
  OggVorbis_File file_{};
  bool open_ = false;
};

}  // namespace

std::unique_ptr<Decoder> OpenVorbisDecoder(const std::string& path) { return VorbisDecoder::Open(path); }

}  // namespace qel::engine
