// FLAC through libFLAC. The length is STREAMINFO's sample count, exact by
// the format. A damaged frame or a lost sync costs the samples of the frames
// lost and no more: they are played as silence, so the rest keeps its place
// and the file its length, and decoding goes on.
#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/decoder.h"

namespace qel::engine {
namespace {

class FlacDecoder : public Decoder {
 public:
  ~FlacDecoder() override {
    if (decoder_) {
      FLAC__stream_decoder_finish(decoder_);
      FLAC__stream_decoder_delete(decoder_);
    }
  }

  static std::unique_ptr<Decoder> Open(const std::string& path) {
    auto d = std::unique_ptr<FlacDecoder>(new FlacDecoder);
    d->decoder_ = FLAC__stream_decoder_new();
    if (!d->decoder_) return nullptr;
    FLAC__stream_decoder_set_md5_checking(d->decoder_, false);
    FLAC__stream_decoder_set_metadata_respond(d->decoder_, FLAC__METADATA_TYPE_VORBIS_COMMENT);
    if (FLAC__stream_decoder_init_file(d->decoder_, path.c_str(), &FlacDecoder::OnWrite, &FlacDecoder::OnMetadata,
                                       &FlacDecoder::OnError, d.get()) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
      return nullptr;
    if (!FLAC__stream_decoder_process_until_end_of_metadata(d->decoder_)) return nullptr;
    // A stream that does not count its samples has no length to show.
    if (d->rate_ <= 0 || d->channels_ <= 0 || d->channels_ > 8 || d->frames_ <= 0 || d->bits_ < 4 || d->bits_ > 32)
      return nullptr;
    return d;
  }

  size_t Read(float* out, size_t frames) override {
    size_t done = 0;
    const size_t ch = static_cast<size_t>(channels_);
    while (done < frames) {
      if (silence_ > 0) {
        const size_t n = static_cast<size_t>(std::min<long long>(silence_, static_cast<long long>(frames - done)));
        std::fill(out + done * ch, out + (done + n) * ch, 0.0f);
        silence_ -= static_cast<long long>(n);
        done += n;
        continue;
      }
      if (taken_ < pending_.size() / ch) {
        const size_t n = std::min(frames - done, pending_.size() / ch - taken_);
        std::memcpy(out + done * ch, pending_.data() + taken_ * ch, n * ch * sizeof(float));
        taken_ += n;
        done += n;
        continue;
      }
      if (ended_) break;
      pending_.clear();
      taken_ = 0;
      if (next_ >= frames_) {
        ended_ = true;
        break;
      }
      const bool ok = FLAC__stream_decoder_process_single(decoder_);
      const auto state = FLAC__stream_decoder_get_state(decoder_);
      if (pending_.empty() && silence_ == 0 && (state == FLAC__STREAM_DECODER_END_OF_STREAM || !ok)) {
        ended_ = true;
        if (!ok) failed_ = true;
      }
    }
    return done;
  }

  bool Seek(long long frame) override {
    pending_.clear();
    taken_ = 0;
    silence_ = 0;
    ended_ = false;
    if (frame >= frames_) {
      next_ = frames_;
      return true;
    }
    next_ = frame;
    seeking_ = true;
    const bool ok = FLAC__stream_decoder_seek_absolute(decoder_, static_cast<FLAC__uint64>(frame));
    seeking_ = false;
    if (!ok) {
      FLAC__stream_decoder_flush(decoder_);
      pending_.clear();
      return false;
    }
    return true;
  }

 private:
  FlacDecoder() = default;

  static FLAC__StreamDecoderWriteStatus OnWrite(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                const FLAC__int32* const buffer[], void* data) {
    auto* self = static_cast<FlacDecoder*>(data);
    self->Take(frame, buffer);
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }
  static void OnMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* m, void* data) {
    auto* self = static_cast<FlacDecoder*>(data);
    if (m->type == FLAC__METADATA_TYPE_STREAMINFO) {
      self->rate_ = static_cast<int>(m->data.stream_info.sample_rate);
      self->channels_ = static_cast<int>(m->data.stream_info.channels);
      self->bits_ = static_cast<int>(m->data.stream_info.bits_per_sample);
      self->frames_ = static_cast<long long>(m->data.stream_info.total_samples);
    } else if (m->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
      for (FLAC__uint32 i = 0; i < m->data.vorbis_comment.num_comments; ++i) {
        const auto& c = m->data.vorbis_comment.comments[i];
        std::string entry(reinterpret_cast<const char*>(c.entry), c.length);
        auto eq = entry.find('=');
        if (eq != std::string::npos) ReadGainTag(entry.substr(0, eq), entry.substr(eq + 1), &self->gains_);
      }
    }
  }
  static void OnError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {
    // Lost sync and damaged frames: libFLAC finds the next good frame, and
    // Take fills the place of those lost.
  }

  // One decoded frame, at the place its header gives: what lies between the
  // last frame and this one was lost to damage and is silence.
  void Take(const FLAC__Frame* frame, const FLAC__int32* const buffer[]) {
    const size_t ch = static_cast<size_t>(channels_);
    if (frame->header.channels != static_cast<unsigned>(channels_)) return;
    long long first = frame->header.number_type == FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER
                          ? static_cast<long long>(frame->header.number.sample_number)
                          : next_;
    if (seeking_) first = next_;  // the target's frame, cut to start at it
    const long long blocksize = frame->header.blocksize;
    if (first + blocksize <= next_ || first >= frames_) return;  // heard already, or past the end
    const long long gap = std::max(0LL, first - next_);
    const long long skip = std::max(0LL, next_ - first);
    const long long count = std::min(blocksize - skip, frames_ - first - skip);
    // libFLAC may hand over more than one frame in one call: each goes after
    // what is pending, a gap before it as silence there.
    if (pending_.empty()) {
      silence_ += gap;
    } else {
      pending_.resize(pending_.size() + static_cast<size_t>(std::min(gap, static_cast<long long>(rate_) * 60)) * ch);
    }
    const size_t at = pending_.size();
    pending_.resize(at + static_cast<size_t>(std::max(0LL, count)) * ch);
    const float scale = 1.0f / static_cast<float>(1LL << (bits_ - 1));
    float* dst = pending_.data() + at;
    for (long long i = 0; i < count; ++i)
      for (size_t c = 0; c < ch; ++c) *dst++ = static_cast<float>(buffer[c][skip + i]) * scale;
    next_ += gap + std::max(0LL, count);
  }

  FLAC__StreamDecoder* decoder_ = nullptr;
  int bits_ = 0;
  std::vector<float> pending_;  // decoded and not yet read
  size_t taken_ = 0;            // frames of pending_ read
  long long silence_ = 0;       // frames lost to damage, played before pending_
  long long next_ = 0;          // the place of the frame after pending_
  bool ended_ = false;
  bool seeking_ = false;
};

}  // namespace

std::unique_ptr<Decoder> OpenFlacDecoder(const std::string& path) { return FlacDecoder::Open(path); }

}  // namespace qel::engine
