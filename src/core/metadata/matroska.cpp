// Matroska (.mkv): the duration of the segment's Info element.
//
// Where this reading goes further than the plain one, and why:
// - The duration is ticks of TimecodeScale nanoseconds, computed as such in
//   floating point: dividing the scale by 1000 in integers first gives 0
//   for scales under a microsecond and wrong lengths for odd ones.
// - The other children of Info are passed over, not taken as the end.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/metadata/readers.h"

namespace qel::meta {
namespace {

// Length of an EBML variable-length field from its first byte (0 when the
// byte has no marker bit within max bytes).
int VintLength(uint8_t first, int max) {
  for (int i = 0; i < max; ++i)
    if (first & (0x80 >> i)) return i + 1;
  return 0;
}

enum class Act { Skip, Enter, Scale, Duration, Stop };

Act ActFor(uint32_t id) {
  switch (id) {
    case 0x1A45DFA3:  // EBML header
    case 0x114D9B74:  // SeekHead
    case 0xEC:        // Void
    case 0x4D80:      // MuxingApp
    case 0x5741:      // WritingApp
    case 0x4461:      // DateUTC
    case 0x7BA9:      // Title
    // The other children of Info, which muxers write around the duration
    // (FFmpeg puts a CRC-32 first and the SegmentUID before the duration).
    case 0xBF:        // CRC-32
    case 0x73A4:      // SegmentUID
    case 0x7384:      // SegmentFilename
    case 0x3CB923:    // PrevUID
    case 0x3C83AB:    // PrevFilename
    case 0x3EB923:    // NextUID
    case 0x3E83BB:    // NextFilename
    case 0x4444:      // SegmentFamily
      return Act::Skip;
    case 0x18538067:  // Segment
    case 0x1549A966:  // Info
      return Act::Enter;
    case 0x2AD7B1:
      return Act::Scale;
    case 0x4489:
      return Act::Duration;
    default:
      return Act::Stop;
  }
}

// The elements before the duration are a handful (header, seek head, void,
// the children of Info); a walk of thousands is damage.
constexpr int kMaxElements = 4096;

}  // namespace

int MatroskaLength(Source& src) {
  const uint64_t size = src.Size();
  uint64_t pos = 0;
  uint64_t scale = 0;  // nanoseconds a tick
  double duration = 0;  // ticks
  bool done = false;
  for (int walked = 0; !done && pos < size && walked < kMaxElements; ++walked) {
    Bytes b = src.Get(pos, 12);
    int idLen = VintLength(b.U8(0), 4);
    if (idLen == 0 || !b.Has(0, idLen + 1)) break;
    uint32_t id = static_cast<uint32_t>(b.BE(0, idLen));
    int sizeLen = VintLength(b.U8(idLen), 8);
    if (sizeLen == 0 || !b.Has(idLen, sizeLen)) break;
    uint64_t len = b.U8(idLen) & (0xFF >> sizeLen);
    for (int i = 1; i < sizeLen; ++i) len = (len << 8) | b.U8(idLen + i);
    uint64_t data = pos + idLen + sizeLen;
    uint64_t next = len > size ? size + 1 : data + len;  // beyond the file when the size is
    switch (ActFor(id)) {
      case Act::Enter:
        pos = data;
        continue;
      case Act::Stop:
        done = true;
        continue;
      case Act::Scale:
        if (len >= 1 && len <= 8) {
          Bytes v = src.Get(data, len);
          if (v.Has(0, len)) scale = v.BE(0, static_cast<int>(len)) & 0xFFFFFFFFu;
        }
        if (duration != 0) done = true;
        break;
      case Act::Duration: {
        Bytes v = src.Get(data, len == 4 || len == 8 ? len : 0);
        if (len == 4 && v.Has(0, 4)) {
          uint32_t bits = v.BE32(0);
          float f;
          std::memcpy(&f, &bits, 4);
          duration = f;
        } else if (len == 8 && v.Has(0, 8)) {
          uint64_t bits = v.BE64(0);
          std::memcpy(&duration, &bits, 8);
        }
        if (scale != 0) done = true;
        break;
      }
      case Act::Skip:
        break;
    }
    pos = next;
  }
  if (duration == 0 || scale == 0 || !std::isfinite(duration)) return 0;
  // Ticks of scale nanoseconds each; a tiny allowance keeps an exact whole
  // number of seconds from being rounded up by the floating multiplication.
  double seconds = duration * static_cast<double>(scale) / 1e9;
  return CeilSeconds(seconds - 1e-9);
}

}  // namespace qel::meta
