// FLAC: the title of the VORBIS_COMMENT block, the length of STREAMINFO;
// and the Vorbis comment walk that FLAC and Ogg (ogg.cpp) share.
//
// Where this reading goes further than the plain one, and why:
// - The field name is TITLE itself, in any case: TITLESORT and the like are
//   other fields (the sort key would otherwise show as the title).
// - An ID3v2 tag in front of the stream, which some taggers and rippers
//   write, is stepped over rather than taken for a file that is not FLAC.
// - Total samples are read with all 36 bits.
#include <algorithm>
#include <cstdint>

#include "core/metadata/readers.h"
#include "core/text/encoding.h"

namespace qel::meta {
namespace {

// What a title may sensibly hold; a longer value is cut.
constexpr uint64_t kMaxTitle = 64u << 10;
// Real files carry a handful of metadata blocks (a few dozen with many
// pictures or much padding split up); a walk of millions is damage.
constexpr int kMaxBlocks = 1024;

// Where the "fLaC" marker stands: at 0, or after an ID3v2 tag.
std::optional<uint64_t> FlacStart(Source& src) {
  uint64_t at = Id3v2Length(src, 0);
  if (!src.Get(at, 4).IsNoCase(0, "fLaC")) return std::nullopt;
  return at;
}

}  // namespace

std::string VorbisCommentTitle(Stream& s) {
  uint32_t vendor = 0, count = 0;
  if (!s.ReadLE32(&vendor) || s.Skip(vendor) < vendor || !s.ReadLE32(&count)) return {};
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t len = 0;
    if (!s.ReadLE32(&len)) return {};
    std::string name = s.Read(std::min<uint64_t>(len, 6));
    if (name.size() == 6 && StartsNoCase(name, "TITLE=")) return SanitizeUtf8(CutAtZero(s.Read(std::min<uint64_t>(len - 6, kMaxTitle))));
    if (s.Skip(len - name.size()) < len - name.size()) return {};
  }
  return {};
}

std::string FlacTitle(Source& src) {
  auto start = FlacStart(src);
  if (!start) return {};
  uint64_t pos = *start + 4;
  const uint64_t size = src.Size();
  for (int i = 0; i < kMaxBlocks && pos <= size && size - pos >= 4; ++i) {
    Bytes h = src.Get(pos, 4);
    uint8_t type = h.U8(0) & 0x7F;
    uint64_t len = h.BE24(1);
    if (type == 4) {
      RangeStream block(src, pos + 4, pos + 4 + len);
      return VorbisCommentTitle(block);
    }
    if (h.U8(0) & 0x80) return {};
    pos += 4 + len;
  }
  return {};
}

int FlacLength(Source& src) {
  auto start = FlacStart(src);
  if (!start) return 0;
  Bytes b = src.Get(*start, 26);
  if (!b.Has(0, 26)) return 0;
  uint32_t rate = (uint32_t(b.U8(18)) << 12) | (uint32_t(b.U8(19)) << 4) | (b.U8(20) >> 4);
  // Total samples are 36 bits: the low nibble of byte 21, then bytes 22-25.
  uint64_t samples = (uint64_t(b.U8(21) & 0x0F) << 32) | b.BE32(22);
  if (rate == 0) return 0;
  return CeilSeconds(static_cast<double>(samples) / rate);
}

}  // namespace qel::meta
