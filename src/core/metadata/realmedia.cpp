// RealMedia (.rm, .RMF chunks) and RealAudio (.ra, by version): the title and
// the length, all within the first 1094 bytes.
#include <cstdint>

#include "core/metadata/readers.h"
#include "core/text/encoding.h"

namespace qel::meta {
namespace {

constexpr uint64_t kHeadBytes = 1094;

struct RaFields {
  uint64_t titleLen, title, numerator, denominator;
};

RaFields RaLayout(uint32_t version) {
  if (version == 3) return {22, 23, 18, 14};
  if (version == 5) return {67, 68, 28, 32};
  return {69, 70, 28, 32};
}

bool IsRealAudio(const Bytes& b) { return b.Is(0, "\x2E\x72\x61\xFD"); }

// Visits at most (header count - 1) chunks of an .RMF file until visit
// returns true; a chunk smaller than its own header ends the walk.
template <typename Visit>
void WalkChunks(const Bytes& b, Visit visit) {
  if (!b.IsNoCase(0, ".RMF") || !b.Has(0, 18)) return;
  uint64_t pos = b.BE32(4);
  uint32_t count = b.BE32(14);
  for (uint32_t i = 0; i + 1 < count && b.Has(pos, 8); ++i) {
    uint64_t size = b.BE32(pos + 4);
    if (visit(pos)) return;
    if (size < 8) return;
    pos += size;
  }
}

}  // namespace

std::string RealMediaTitle(Source& src) {
  Bytes b = src.Get(0, kHeadBytes);
  if (b.U8(0) != '.' || b.size() == 0) return {};
  if (IsRealAudio(b)) {
    if (!b.Has(0, 6)) return {};
    RaFields f = RaLayout(b.BE16(4));
    return LegacyToUtf8(b.Sub(f.title, b.U8(f.titleLen)));
  }
  std::string title;
  WalkChunks(b, [&](uint64_t pos) {
    if (!b.IsNoCase(pos, "CONT")) return false;
    if (b.Has(pos, 12)) title = LegacyToUtf8(b.Sub(pos + 12, b.BE16(pos + 10)));
    return true;
  });
  return title;
}

int RealMediaLength(Source& src) {
  Bytes b = src.Get(0, kHeadBytes);
  if (b.size() == 0 || b.U8(0) != '.') return 0;
  if (IsRealAudio(b)) {
    if (!b.Has(0, 6)) return 0;
    RaFields f = RaLayout(b.BE16(4));
    if (!b.Has(f.denominator, 4) || !b.Has(f.numerator, 4)) return 0;
    double d = b.BE32(f.denominator);
    if (d == 0) return 0;
    return ClampSeconds(b.BE32(f.numerator) / d * 60 + 0.5);
  }
  int seconds = 0;
  WalkChunks(b, [&](uint64_t pos) {
    if (!b.IsNoCase(pos, "PROP")) return false;
    if (b.Has(pos, 34)) seconds = ClampSeconds(b.BE32(pos + 30) / 1000);
    return true;
  });
  return seconds;
}

}  // namespace qel::meta
