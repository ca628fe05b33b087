// RIFF containers: the AVI main header's first stream and the WAVE format
// and data chunks.
#include <cstdint>

#include "core/metadata/readers.h"

namespace qel::meta {
namespace {

// A WAVE file has a few chunks before its data (fmt, fact, LIST, bext,
// JUNK); a walk of thousands is damage.
constexpr int kMaxChunks = 1024;

}  // namespace

int AviLength(Source& src) {
  Bytes b = src.Get(0, 144);
  if (!b.Has(0, 144)) return 0;
  // The fixed offsets of a file whose avih chunk has its usual 56 bytes and
  // whose first stream list follows it directly.
  if (!b.IsNoCase(0, "RIFF") || !b.IsNoCase(8, "AVI") || !b.IsNoCase(12, "LIST") || !b.IsNoCase(20, "hdrl") ||
      !b.IsNoCase(24, "avih") || !b.IsNoCase(88, "LIST") || !b.IsNoCase(96, "strl") || !b.IsNoCase(100, "strh"))
    return 0;
  double scale = b.LE32(128), rate = b.LE32(132), length = b.LE32(140);
  if (scale == 0 || rate == 0) return 0;
  return CeilSeconds(length / (rate / scale));
}

int WavLength(Source& src) {
  Bytes head = src.Get(0, 12);
  if (!head.IsNoCase(0, "RIFF") || !head.IsNoCase(8, "WAVE")) return 0;
  // Chunks are walked rather than assumed at the canonical offsets: LIST,
  // fact and other chunks often stand before the data.
  const uint64_t size = src.Size();
  uint64_t pos = 12;
  uint64_t bytesPerSecond = 0;
  bool haveFormat = false;
  for (int i = 0; i < kMaxChunks && pos <= size && size - pos >= 8; ++i) {
    Bytes h = src.Get(pos, 8);
    uint64_t len = h.LE32(4);
    uint64_t body = pos + 8;
    if (h.IsNoCase(0, "fmt ")) {
      Bytes f = src.Get(body, 12);
      if (!f.Has(0, 12) || len < 12) return 0;
      bytesPerSecond = f.LE32(8);
      haveFormat = true;
    } else if (h.IsNoCase(0, "data")) {
      if (!haveFormat || bytesPerSecond == 0) return 0;
      // Streaming writers leave the size at its maximum; count what is there.
      uint64_t present = size - body;
      if (len > present) len = present;
      return ClampSeconds(static_cast<double>(len / bytesPerSecond));
    }
    pos = body + len + (len & 1);
  }
  return 0;
}

}  // namespace qel::meta
