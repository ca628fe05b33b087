// MPEG audio (MP3, and Layers I and II) through libmpg123. libmpg123 plays
// a file to its very end, resyncing past damaged frames and joined files,
// and trims the encoder's delay and padding that a LAME tag states. Its own
// length is only an estimate where no Xing, Info or VBRI frame counts the
// frames, and its full scan is slow (a fifth of a second for five minutes),
// so the length comes from that frame where it holds, and otherwise from a
// walk over the frame headers here, which reads the file but decodes none.
#include <fcntl.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "engine/decoder.h"

namespace qel::engine {
namespace {

// ---- the frame walk ----

struct FrameHeader {
  int version = 0;  // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
  int layer = 0;    // 1, 2, 3
  int rate = 0;
  int bitrate = 0;  // kbit/s; 0 for free format
  int padding = 0;
  bool mono = false;
  int samples = 0;  // per frame
  int size = 0;     // bytes, header included; 0 for free format until known
};

constexpr std::array<std::array<int, 16>, 5> kBitrates = {{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // MPEG-1 I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // MPEG-1 II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // MPEG-1 III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},     // MPEG-2 I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // MPEG-2 II, III
}};
constexpr std::array<std::array<int, 3>, 3> kRates = {{{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}}};

// A header at p, or false. `freeSize` is the stream's free-format frame size
// without padding, once known.
bool ParseHeader(const uint8_t* p, int freeSize, FrameHeader* h) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  const int versionBits = (p[1] >> 3) & 3, layerBits = (p[1] >> 1) & 3;
  const int bitrateIndex = p[2] >> 4, rateIndex = (p[2] >> 2) & 3;
  if (versionBits == 1 || layerBits == 0 || bitrateIndex == 15 || rateIndex == 3 || (p[3] & 3) == 2) return false;
  h->version = versionBits == 3 ? 0 : versionBits == 2 ? 1 : 2;
  h->layer = 4 - layerBits;
  h->rate = kRates[h->version][rateIndex];
  h->padding = (p[2] >> 1) & 1;
  h->mono = (p[3] >> 6) == 3;
  const int table = h->version == 0 ? h->layer - 1 : (h->layer == 1 ? 3 : 4);
  h->bitrate = kBitrates[table][bitrateIndex];
  h->samples = h->layer == 1 ? 384 : (h->layer == 3 && h->version != 0) ? 576 : 1152;
  if (h->bitrate == 0) {
    h->size = freeSize > 0 ? freeSize + h->padding * (h->layer == 1 ? 4 : 1) : 0;
  } else if (h->layer == 1) {
    h->size = (12 * h->bitrate * 1000 / h->rate + h->padding) * 4;
  } else {
    const int factor = (h->layer == 3 && h->version != 0) ? 72 : 144;
    h->size = factor * h->bitrate * 1000 / h->rate + h->padding;
  }
  return true;
}

bool SameStream(const FrameHeader& a, const FrameHeader& b) {
  return a.version == b.version && a.layer == b.layer && a.rate == b.rate && (a.bitrate == 0) == (b.bitrate == 0);
}

// The file read through a window of a few hundred KiB: the walk never holds
// more, however long the file, and a file cut short under it only ends it.
class Window {
 public:
  explicit Window(int fd) : fd_(fd) {
    struct stat st;
    size_ = ::fstat(fd, &st) == 0 ? st.st_size : 0;
  }
  long long Size() const { return size_; }
  // n bytes at pos, or nullptr past the end.
  const uint8_t* At(long long pos, size_t n) {
    if (pos < 0 || pos + static_cast<long long>(n) > size_) return nullptr;
    if (pos < start_ || pos + static_cast<long long>(n) > start_ + static_cast<long long>(data_.size())) {
      data_.resize(static_cast<size_t>(std::min<long long>(kSpan, size_ - pos)));
      size_t got = 0;
      while (got < data_.size()) {
        ssize_t r = ::pread(fd_, data_.data() + got, data_.size() - got, pos + static_cast<long long>(got));
        if (r <= 0) break;
        got += static_cast<size_t>(r);
      }
      data_.resize(got);
      start_ = pos;
      if (got < n) {
        size_ = pos + static_cast<long long>(got);
        return nullptr;
      }
    }
    return data_.data() + (pos - start_);
  }

 private:
  static constexpr long long kSpan = 256 * 1024;
  int fd_;
  long long size_ = 0;
  long long start_ = 0;
  std::vector<uint8_t> data_;
};

uint32_t Be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }

// A Xing, Info or VBRI frame: it holds no sound, libmpg123 skips it, and a
// LAME tag in it says how much of the sound around is the encoder's.
struct InfoFrame {
  bool present = false;
  long long frames = -1;  // the frames it counts, -1 when it does not say
  long long bytes = -1;   // the bytes of the stream it counts, -1 when it does not say
  int delay = -1, padding = -1;
};

InfoFrame ReadInfoFrame(const uint8_t* f, const FrameHeader& h) {
  InfoFrame info;
  if (h.layer != 3 || h.size < 40) return info;
  const int side = h.version == 0 ? (h.mono ? 17 : 32) : (h.mono ? 9 : 17);
  const int x = 4 + side;
  if (x + 8 <= h.size && (std::memcmp(f + x, "Xing", 4) == 0 || std::memcmp(f + x, "Info", 4) == 0)) {
    info.present = true;
    const uint32_t flags = Be32(f + x + 4);
    int at = x + 8;
    if ((flags & 1) && at + 4 <= h.size) info.frames = Be32(f + at), at += 4;
    if ((flags & 2) && at + 4 <= h.size) info.bytes = Be32(f + at), at += 4;
    if (flags & 4) at += 100;
    if (flags & 8) at += 4;
    // The LAME tag: a nine-byte encoder name, then 12 bits of delay and 12
    // of padding 21 bytes in.
    if (at + 24 <= h.size && f[at] >= 'A' && f[at] <= 'Z') {
      const uint8_t* d = f + at + 21;
      info.delay = (d[0] << 4) | (d[1] >> 4);
      info.padding = ((d[1] & 0x0F) << 8) | d[2];
    }
  } else if (36 + 18 <= h.size && std::memcmp(f + 36, "VBRI", 4) == 0) {
    info.present = true;
    info.bytes = Be32(f + 36 + 10);
    info.frames = Be32(f + 36 + 14);
  }
  return info;
}

// Where the sound starts: after an ID3v2 tag (and any that follow it).
long long AudioStart(Window& w) {
  long long pos = 0;
  while (const uint8_t* p = w.At(pos, 10)) {
    if (std::memcmp(p, "ID3", 3) != 0 || (p[6] | p[7] | p[8] | p[9]) & 0x80) break;
    const long long size = (p[6] << 21) | (p[7] << 14) | (p[8] << 7) | p[9];
    pos += 10 + size + ((p[5] & 0x10) ? 10 : 0);
  }
  return pos;
}

// The bytes of tags after the sound: an ID3v1 tag, an APEv2 tag before it.
long long TrailingTags(Window& w) {
  long long end = w.Size(), tags = 0;
  if (const uint8_t* p = w.At(end - 128, 3); p && std::memcmp(p, "TAG", 3) == 0) tags += 128;
  if (const uint8_t* p = w.At(end - tags - 32, 32); p && std::memcmp(p, "APETAGEX", 8) == 0) {
    const long long size = p[12] | (p[13] << 8) | (p[14] << 16) | (static_cast<long long>(p[15]) << 24);
    tags += size + ((p[23] & 0x80) ? 32 : 0);
  }
  return tags;
}

// The free-format frame size (without padding) of a stream whose first
// frame is at pos: the distance to the next header of the same stream.
int FreeFormatSize(Window& w, long long pos, const FrameHeader& first) {
  constexpr int kLongest = 8192;
  for (long long at = pos + 4; at < pos + kLongest; ++at) {
    const uint8_t* p = w.At(at, 4);
    if (!p) return 0;
    FrameHeader h;
    if (ParseHeader(p, 0, &h) && SameStream(h, first) && h.bitrate == 0)
      return static_cast<int>(at - pos) - first.padding * (first.layer == 1 ? 4 : 1);
  }
  return 0;
}

struct Walk {
  long long samples = 0;
  int rate = 0;
  int channels = 0;
};

// A header at pos that starts the stream: the frame after it is one of the
// same stream, or the file ends with it.
bool StartsStream(Window& w, long long pos, FrameHeader* h, int* freeSize) {
  const uint8_t* p = w.At(pos, 4);
  if (!p || !ParseHeader(p, 0, h)) return false;
  *freeSize = h->bitrate == 0 ? FreeFormatSize(w, pos, *h) : 0;
  if (h->bitrate == 0) {
    if (*freeSize <= 0) return false;
    ParseHeader(p, *freeSize, h);
  }
  if (pos + h->size >= w.Size()) return pos + h->size == w.Size();
  const uint8_t* next = w.At(pos + h->size, 4);
  FrameHeader n;
  return next && ParseHeader(next, *freeSize, &n) && SameStream(n, *h);
}

// Counts the sound of an MPEG audio file as libmpg123 plays it.
std::optional<Walk> WalkFrames(int fd) {
  Window w(fd);
  long long pos = AudioStart(w);
  // The first frame: junk before it is passed over, within a bound.
  FrameHeader first;
  int freeSize = 0;
  const long long searchEnd = pos + 64 * 1024;
  while (pos < searchEnd && !StartsStream(w, pos, &first, &freeSize)) {
    if (!w.At(pos, 4)) return std::nullopt;
    ++pos;
  }
  if (pos >= searchEnd) return std::nullopt;

  Walk walk;
  walk.rate = first.rate;
  walk.channels = first.mono ? 1 : 2;
  // A Xing, Info or VBRI frame that counts the frames is believed while the
  // bytes it counts are the bytes there (within a frame or two): a file of
  // two joined, or one cut short, is walked to its end. Believing it spares
  // reading the whole file, which the length probe asks for every entry of
  // a playlist it writes.
  if (const uint8_t* f = w.At(pos, static_cast<size_t>(first.size))) {
    const InfoFrame info = ReadInfoFrame(f, first);
    const long long there = w.Size() - TrailingTags(w) - pos;
    if (info.frames > 0 && (info.bytes < 0 || std::llabs(info.bytes - there) <= 2LL * first.size + there / 200)) {
      walk.samples = info.frames * first.samples;
      if (info.delay >= 0 && info.padding >= 0) walk.samples = std::max(0LL, walk.samples - info.delay - info.padding);
      return walk;
    }
  }
  long long frames = 0, infoFrames = -1;
  int delay = -1, padding = -1;
  bool firstFrame = true;
  FrameHeader h;
  while (const uint8_t* p = w.At(pos, 4)) {
    if (ParseHeader(p, freeSize, &h) && SameStream(h, first) && h.size > 4) {
      if (const uint8_t* f = w.At(pos, static_cast<size_t>(h.size))) {
        InfoFrame info = ReadInfoFrame(f, h);
        if (firstFrame && info.present) {
          infoFrames = info.frames;
          delay = info.delay;
          padding = info.padding;
        } else if (!info.present) {
          ++frames;
        }
        firstFrame = false;
        pos += h.size;
        continue;
      }
      // A last frame cut short: libmpg123 decodes none of it.
      break;
    }
    // Damage, or a tag at the end: on to the next place a stream goes on.
    ++pos;
    int ignored;
    while (w.At(pos, 4) && !(StartsStream(w, pos, &h, &ignored) && SameStream(h, first))) ++pos;
  }
  walk.samples = frames * first.samples;
  // The encoder's delay and padding come off only where the tag counts the
  // frames that are there: a file with more (two joined) plays whole.
  if (delay >= 0 && padding >= 0 && infoFrames == frames)
    walk.samples = std::max(0LL, walk.samples - delay - padding);
  return walk;
}

// ---- decoding ----

class Mp3Decoder : public Decoder {
 public:
  ~Mp3Decoder() override {
    if (handle_) {
      mpg123_close(handle_);
      mpg123_delete(handle_);
    }
  }

  static std::unique_ptr<Decoder> Open(const std::string& path) {
    auto d = std::unique_ptr<Mp3Decoder>(new Mp3Decoder);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    auto walk = WalkFrames(fd);
    ::close(fd);
    if (!walk || walk->samples <= 0) return nullptr;
    int err = MPG123_OK;
    d->handle_ = mpg123_new(nullptr, &err);
    if (!d->handle_) return nullptr;
    mpg123_param(d->handle_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    // Damage of any length is read past, as a player does, not the end.
    mpg123_param(d->handle_, MPG123_RESYNC_LIMIT, -1, 0);
    mpg123_format_none(d->handle_);
    mpg123_format(d->handle_, walk->rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    if (mpg123_open(d->handle_, path.c_str()) != MPG123_OK) return nullptr;
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(d->handle_, &rate, &channels, &encoding) != MPG123_OK || encoding != MPG123_ENC_FLOAT_32 ||
        rate != walk->rate)
      return nullptr;
    d->rate_ = static_cast<int>(rate);
    d->channels_ = channels;
    d->frames_ = walk->samples;
    d->ReadGains();
    return d;
  }

  size_t Read(float* out, size_t frames) override {
    const size_t frameBytes = sizeof(float) * static_cast<size_t>(channels_);
    size_t done = 0;
    while (done < frames && !ended_) {
      size_t got = 0;
      int r = mpg123_read(handle_, reinterpret_cast<unsigned char*>(out + done * channels_), (frames - done) * frameBytes,
                          &got);
      done += got / frameBytes;
      if (r == MPG123_DONE) {
        ended_ = true;
      } else if (r == MPG123_NEW_FORMAT) {
        // A stream that changes its rate or channels midway plays no further.
        ended_ = true;
      } else if (r != MPG123_OK) {
        if (got == 0) {
          failed_ = true;
          ended_ = true;
        }
      }
    }
    return done;
  }

  bool Seek(long long frame) override {
    ended_ = false;
    return mpg123_seek(handle_, static_cast<off_t>(frame), SEEK_SET) >= 0;
  }

 private:
  Mp3Decoder() = default;
  void ReadGains() {
    mpg123_id3v1* v1 = nullptr;
    mpg123_id3v2* v2 = nullptr;
    if (mpg123_id3(handle_, &v1, &v2) != MPG123_OK || !v2) return;
    for (size_t i = 0; i < v2->extras; ++i) {
      const mpg123_text& t = v2->extra[i];
      if (t.description.p && t.text.p)
        ReadGainTag(std::string(t.description.p), std::string(t.text.p), &gains_);
    }
  }

  mpg123_handle* handle_ = nullptr;
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<Decoder> OpenMp3Decoder(const std::string& path) { return Mp3Decoder::Open(path); }

}  // namespace qel::engine
