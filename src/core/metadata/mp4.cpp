// MP4 / M4A: the ©nam title of an audio file, the mvhd length of a video.
#include <cstdint>

#include "core/metadata/readers.h"
#include "core/text/encoding.h"

namespace qel::meta {
namespace {

struct Box {
  uint64_t pos = 0;
  uint64_t size = 0;     // whole box, clipped to its parent
  uint64_t header = 8;   // 16 with a 64-bit size
  std::string type;
};

// The box at pos inside [pos, end): a size of 1 is followed by a 64-bit
// size, a size of 0 runs to the end. Nothing when the header does not fit or
// the size is smaller than the header.
std::optional<Box> BoxAt(Source& src, uint64_t pos, uint64_t end, bool zeroRunsToEnd) {
  if (pos > end || end - pos < 8) return std::nullopt;
  Bytes b = src.Get(pos, 16);
  Box box;
  box.pos = pos;
  box.type = std::string(b.Sub(4, 4));
  box.size = b.BE32(0);
  if (box.size == 1) {
    if (end - pos < 16 || !b.Has(0, 16)) return std::nullopt;
    box.size = b.BE64(8);
    box.header = 16;
  } else if (box.size == 0) {
    if (!zeroRunsToEnd) return std::nullopt;
    box.size = end - pos;
  }
  if (box.size < box.header) return std::nullopt;
  if (box.size > end - pos) box.size = end - pos;
  return box;
}

// The first child of parent (children starting skip bytes in) of the given
// type, compared byte for byte.
std::optional<Box> FindChild(Source& src, const Box& parent, uint64_t skip, std::string_view type) {
  uint64_t end = parent.pos + parent.size;
  uint64_t pos = parent.pos + skip;
  while (auto child = BoxAt(src, pos, end, false)) {
    if (child->type == type) return child;
    pos += child->size;
  }
  return std::nullopt;
}

}  // namespace

std::string Mp4AudioTitle(Source& src) {
  const uint64_t size = src.Size();
  uint64_t pos = 0;
  while (auto box = BoxAt(src, pos, size, true)) {
    if (box->type == "ftyp") {
      if (!src.Get(pos + box->header, 3).Is(0, "M4A")) return {};
    } else if (box->type == "moov") {
      auto udta = FindChild(src, *box, box->header, "udta");
      if (!udta) return {};
      auto meta = FindChild(src, *udta, udta->header, "meta");
      if (!meta) return {};
      auto ilst = FindChild(src, *meta, meta->header + 4, "ilst");  // meta is a full box
      if (!ilst) return {};
      auto nam = FindChild(src, *ilst, ilst->header, "\xA9nam");
      if (!nam || nam->size <= nam->header + 16) return {};
      uint64_t text = nam->pos + nam->header + 16;  // past the data box's header, type and locale
      return SanitizeUtf8(CutAtZero(src.Get(text, nam->pos + nam->size - text).s));
    }
    pos += box->size;
  }
  return {};
}

int Mp4Length(Source& src) {
  const uint64_t size = src.Size();
  uint64_t pos = 0;
  while (auto box = BoxAt(src, pos, size, false)) {
    if (Bytes{box->type}.IsNoCase(0, "moov")) {
      if (auto mvhd = FindChild(src, *box, box->header, "mvhd")) {
        Bytes m = src.Get(mvhd->pos + mvhd->header, 32);
        uint64_t scale, duration;
        if (m.U8(0) == 1) {  // 64-bit creation and modification times before the scale
          if (!m.Has(0, 32)) return 0;
          scale = m.BE32(20);
          duration = m.BE64(24);
        } else {
          if (!m.Has(0, 20)) return 0;
          scale = m.BE32(12);
          duration = m.BE32(16);
        }
        if (scale == 0) return 0;
        return CeilSeconds(static_cast<double>(duration) / static_cast<double>(scale));
      }
    }
    pos += box->size;
  }
  return 0;
}

}  // namespace qel::meta
