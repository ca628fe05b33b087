// Which decoder a file gets, the loudness tags they share, and the lengths
// measured so far.
#include "engine/decoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>

#include "engine/engine_internal.h"

namespace qel::engine {
namespace {

enum class OggCodec { None, Vorbis, Opus };

// What the streams an Ogg file starts with hold: every stream begins on a
// page of its own before any stream's data, so the first pages tell. A
// file with a picture stream, or more than one sound stream, is not one
// the sound-server path plays, wherever that stream comes.
OggCodec SniffOgg(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return OggCodec::None;
  unsigned char buf[65536];
  ssize_t n = ::pread(fd, buf, sizeof buf, 0);
  ::close(fd);
  OggCodec found = OggCodec::None;
  int streams = 0;
  for (ssize_t at = 0; n > 0 && at + 27 <= n;) {
    const unsigned char* page = buf + at;
    if (std::memcmp(page, "OggS", 4) != 0 || page[4] != 0) return OggCodec::None;
    if (!(page[5] & 0x02)) break;  // the first data page: every stream has begun
    const int segments = page[26];
    if (at + 27 + segments > n) return OggCodec::None;
    size_t body = 0;
    for (int i = 0; i < segments; ++i) body += page[27 + i];
    const unsigned char* packet = page + 27 + segments;
    const size_t have = static_cast<size_t>(n - (at + 27 + segments));
    auto starts = [&](const char* magic, size_t len) {
      return body >= len && have >= len && std::memcmp(packet, magic, len) == 0;
    };
    if (starts("fishead\0", 8)) {
      // The skeleton only describes the others.
    } else if (starts("\x01vorbis", 7)) {
      found = OggCodec::Vorbis;
      ++streams;
    } else if (starts("OpusHead", 8)) {
      found = OggCodec::Opus;
      ++streams;
    } else {
      return OggCodec::None;
    }
    at += 27 + segments + static_cast<ssize_t>(body);
  }
  return streams == 1 ? found : OggCodec::None;
}

std::optional<double> ParseNumber(std::string text) {
  size_t a = text.find_first_not_of(" \t");
  if (a == std::string::npos) return std::nullopt;
  if (text[a] == '+') ++a;
  double v = 0;
  auto [end, ec] = std::from_chars(text.data() + a, text.data() + text.size(), v);
  if (ec != std::errc() || !std::isfinite(v)) return std::nullopt;
  return v;
}

}  // namespace

void ReadGainTag(std::string name, const std::string& value, GainTags* tags) {
  name = Lower(std::move(name));
  auto v = ParseNumber(value);
  if (!v) return;
  const bool gain = *v >= -60.0 && *v <= 30.0, peak = *v > 0.0 && *v <= 16.0;
  if (name == "replaygain_track_gain" && gain) tags->trackGain = *v;
  else if (name == "replaygain_album_gain" && gain) tags->albumGain = *v;
  else if (name == "replaygain_track_peak" && peak) tags->trackPeak = *v;
  else if (name == "replaygain_album_peak" && peak) tags->albumPeak = *v;
}

double ReplayGainFactor(const GainTags& tags, ReplayGain mode) {
  if (mode == ReplayGain::Off) return 1.0;
  const bool album = mode == ReplayGain::Album;
  std::optional<double> gain = album ? tags.albumGain : tags.trackGain;
  std::optional<double> peak = album ? tags.albumPeak : tags.trackPeak;
  if (!gain) {
    gain = album ? tags.trackGain : tags.albumGain;
    peak = album ? tags.trackPeak : tags.albumPeak;
  }
  if (!gain) return 1.0;
  double factor = std::pow(10.0, *gain / 20.0);
  if (peak && *peak > 0.0) factor = std::min(factor, 1.0 / *peak);
  return factor;
}

bool ForDecoders(const std::string& path) { return IsSoundFileExtension(Extension(path)); }

std::unique_ptr<Decoder> OpenDecoder(const std::string& path) {
  const std::string ext = Extension(path);
  if (ext == ".mp3") return OpenMp3Decoder(path);
  if (ext == ".flac" || ext == ".fla") return OpenFlacDecoder(path);
  if (ext == ".ogg" || ext == ".oga" || ext == ".opus") {
    switch (SniffOgg(path)) {
      case OggCodec::Vorbis: return OpenVorbisDecoder(path);
      case OggCodec::Opus: return OpenOpusDecoder(path);
      default: return nullptr;
    }
  }
  if (ForDecoders(path)) return OpenPcmDecoder(path);
  return nullptr;
}

std::optional<long long> DecodedLengthMs(const std::string& path) {
  if (!ForDecoders(path)) return std::nullopt;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  struct Known {
    long long size, mtimeNs, ms;
  };
  static std::mutex mutex;
  static std::map<std::string, Known> known;
  const long long mtimeNs = st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec;
  {
    std::lock_guard lock(mutex);
    auto it = known.find(path);
    if (it != known.end() && it->second.size == st.st_size && it->second.mtimeNs == mtimeNs) return it->second.ms;
  }
  auto decoder = OpenDecoder(path);
  if (!decoder) return std::nullopt;
  const long long ms = FramesToMs(decoder->Frames(), decoder->Rate());
  std::lock_guard lock(mutex);
  if (known.size() >= 4096) known.clear();  // a bound, not a policy: lists are measured once each
  known[path] = Known{st.st_size, mtimeNs, ms};
  return ms;
}

}  // namespace qel::engine
