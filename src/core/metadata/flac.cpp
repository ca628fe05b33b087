// FLAC: the title of the VORBIS_COMMENT block, the length of STREAMINFO;
// Ogg Vorbis: the title of the comment header. Both share one comment walk.
#include <cstdint>

#include "core/metadata/readers.h"
#include "core/text/encoding.h"

namespace qel::meta {

std::string VorbisCommentTitle(Source& src, uint64_t start, uint64_t end) {
  if (end > src.Size()) end = src.Size();
  if (start > end) return {};
  auto room = [&](uint64_t at, uint64_t n) { return at <= end && n <= end - at; };
  if (!room(start, 4)) return {};
  uint64_t pos = start + 4 + src.Get(start, 4).LE32(0);  // past the vendor string
  if (!room(pos, 4)) return {};
  uint32_t count = src.Get(pos, 4).LE32(0);
  pos += 4;
  for (uint32_t i = 0; i < count && room(pos, 4); ++i) {
    uint64_t len = src.Get(pos, 4).LE32(0);
    pos += 4;
    if (!room(pos, len)) len = end - pos;  // a comment cut short by the end
    // Field names are case-insensitive, and the name must be TITLE itself,
    // not a longer name that begins with it (TITLESORT).
    if (len >= 6 && src.Get(pos, 6).IsNoCase(0, "TITLE=")) {
      return SanitizeUtf8(CutAtZero(src.Get(pos + 6, len - 6).s));
    }
    pos += len;
  }
  return {};
}

std::string FlacTitle(Source& src) {
  if (!src.Get(0, 4).IsNoCase(0, "fLaC")) return {};
  uint64_t pos = 4;
  const uint64_t size = src.Size();
  while (pos <= size && size - pos >= 4) {
    Bytes h = src.Get(pos, 4);
    uint8_t type = h.U8(0) & 0x7F;
    uint64_t len = h.BE24(1);
    if (type == 4) return VorbisCommentTitle(src, pos + 4, pos + 4 + len);
    if (h.U8(0) & 0x80) return {};
    pos += 4 + len;
  }
  return {};
}

int FlacLength(Source& src) {
  Bytes b = src.Get(0, 26);
  if (!b.IsNoCase(0, "fLaC") || !b.Has(0, 26)) return 0;
  uint32_t rate = (uint32_t(b.U8(18)) << 12) | (uint32_t(b.U8(19)) << 4) | (b.U8(20) >> 4);
  // Total samples are 36 bits: the low nibble of byte 21, then bytes 22-25.
  uint64_t samples = (uint64_t(b.U8(21) & 0x0F) << 32) | b.BE32(22);
  if (rate == 0) return 0;
  return CeilSeconds(static_cast<double>(samples) / rate);
}

std::string OggTitle(Source& src) {
  if (!src.Get(0, 4).Is(0, "OggS")) return {};
  // Every Vorbis stream's header packets come before its audio, so the
  // comment header starts near the beginning; a file without one (Opus, a
  // video) is not read to its end.
  constexpr uint64_t kScanLimit = 1 << 20;
  const uint64_t size = src.Size();
  const uint64_t limit = size < kScanLimit ? size : kScanLimit;
  constexpr uint64_t kChunk = 4096 - 9;  // one cache block a step
  // Chunks overlap by 9 bytes, so a match and its 32-bit word are always
  // whole in the chunk where the match begins before the overlap.
  for (uint64_t at = 0; at < limit; at += kChunk) {
    Bytes chunk = src.Get(at, kChunk + 9);
    for (size_t from = 0;;) {
      size_t hit = chunk.s.find("vorbis", from);
      if (hit == std::string_view::npos || hit >= kChunk || hit + 10 > chunk.size()) break;
      uint64_t match = at + hit;
      if (match >= limit) return {};
      if (chunk.LE32(hit + 6) != 0) return VorbisCommentTitle(src, match + 6, size);
      from = hit + 6;  // the identification header's version, or an empty vendor
    }
    if (chunk.size() < kChunk + 9) break;
  }
  return {};
}

}  // namespace qel::meta
