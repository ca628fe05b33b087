// MP4 / M4A: the ©nam title of an audio file, the mvhd length of a video.
//
// Where this reading goes further than the plain one, and why:
// - Any brand is read: ".m4a" files come as "M4A ", "mp42", "isom", "dash"
//   and more, and all of them keep their title in the same place.
// - The item list is found under moov/udta/meta as iTunes writes it and
//   under moov/meta as QuickTime does, and QuickTime's meta, a plain box
//   without version and flags, is read as such.
// - Boxes with 64-bit sizes are followed, and a version 1 mvhd is read with
//   its 64-bit times.
#include <algorithm>
#include <cstdint>

#include "core/metadata/readers.h"
#include "core/text/encoding.h"

namespace qel::meta {
namespace {

// What a title may sensibly hold; a longer one is cut.
constexpr uint64_t kMaxTitle = 64u << 10;
// Boxes walked on one level. A file has a handful at the top and in each
// box the title lies under; a fragmented one has many fragments, but after
// its moov.
constexpr int kMaxBoxes = 1024;

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
  for (int i = 0; i < kMaxBoxes; ++i) {
    auto child = BoxAt(src, pos, end, false);
    if (!child) break;
    if (child->type == type) return child;
    pos += child->size;
  }
  return std::nullopt;
}

// How far into meta its children start: iTunes writes it as a full box
// (four bytes of version and flags, all zero, come first); in QuickTime it
// is a plain box whose first child's size comes at once.
uint64_t MetaChildren(Source& src, const Box& meta) {
  return src.Get(meta.pos + meta.header, 4).BE32(0) == 0 ? meta.header + 4 : meta.header;
}

std::string MoovTitle(Source& src, const Box& moov) {
  std::optional<Box> meta;
  if (auto udta = FindChild(src, moov, moov.header, "udta")) meta = FindChild(src, *udta, udta->header, "meta");
  if (!meta) meta = FindChild(src, moov, moov.header, "meta");
  if (!meta) return {};
  auto ilst = FindChild(src, *meta, MetaChildren(src, *meta), "ilst");
  if (!ilst) return {};
  auto nam = FindChild(src, *ilst, ilst->header, "\xA9nam");
  if (!nam) return {};
  auto data = FindChild(src, *nam, nam->header, "data");
  if (!data || data->size < data->header + 8) return {};
  // The data box: a type word (1 UTF-8, 2 UTF-16), a locale, the text.
  uint32_t kind = src.Get(data->pos + data->header, 4).BE32(0) & 0xFFFFFF;
  uint64_t text = data->pos + data->header + 8;
  Bytes t = src.Get(text, std::min(data->pos + data->size - text, kMaxTitle));
  if (kind == 2) return Utf16UntilZero(t.s, true);
  return SanitizeUtf8(CutAtZero(t.s));
}

}  // namespace

std::string Mp4AudioTitle(Source& src) {
  const uint64_t size = src.Size();
  uint64_t pos = 0;
  for (int i = 0; i < kMaxBoxes; ++i) {
    auto box = BoxAt(src, pos, size, true);
    if (!box) break;
    if (box->type == "moov") return MoovTitle(src, *box);
    pos += box->size;
  }
  return {};
}

int Mp4Length(Source& src) {
  const uint64_t size = src.Size();
  uint64_t pos = 0;
  for (int i = 0; i < kMaxBoxes; ++i) {
    auto box = BoxAt(src, pos, size, false);
    if (!box) break;
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
