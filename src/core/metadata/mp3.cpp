// ID3v2 tags (title, lyrics, cover), the ID3v1 title and the MPEG audio
// length of the first frame.
#include <cstdint>
#include <functional>
#include <vector>

#include "core/metadata/readers.h"
#include "core/text/encoding.h"

namespace qel::meta {
namespace {

// Removes the zero byte that unsynchronisation puts after every FF.
std::string Resync(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    out.push_back(in[i]);
    if (static_cast<uint8_t>(in[i]) == 0xFF && i + 1 < in.size() && in[i + 1] == 0) ++i;
  }
  return out;
}

struct Id3Tag {
  int major = 0;
  uint8_t flags = 0;
  std::string buf;  // header and tag, as far as the file holds it
  size_t framesStart = 10;
};

std::optional<Id3Tag> ReadId3(Source& src) {
  Bytes head = src.Get(0, 10);
  if (!head.Has(0, 10) || !head.IsNoCase(0, "ID3")) return std::nullopt;
  Id3Tag tag;
  tag.major = head.U8(3);
  tag.flags = head.U8(5);
  uint64_t total = uint64_t(head.Syncsafe(6)) + 10;  // Copy clips to the file
  tag.buf = src.Copy(0, total);
  if (tag.buf.size() < 10) return std::nullopt;
  // Up to 2.3 the whole tag is unsynchronised and frame sizes count the
  // bytes before the adjustment, so undo it once for the whole tag. In 2.4
  // sizes count the stored bytes and each frame body is undone by itself.
  if ((tag.flags & 0x80) && tag.major < 4) tag.buf = tag.buf.substr(0, 10) + Resync(std::string_view(tag.buf).substr(10));
  if (tag.flags & 0x40) {
    Bytes b{tag.buf};
    uint64_t start = tag.major == 4 ? 10 + uint64_t(b.Syncsafe(10)) : 14 + uint64_t(b.BE32(10));
    tag.framesStart = start < tag.buf.size() ? static_cast<size_t>(start) : tag.buf.size();
  }
  return tag;
}

// Calls visit(body) for each frame whose identifier is id, in order, until it
// returns true. A frame header that would not fit in the tag, a padding byte
// or a body running past the tag ends the walk (the last body is clipped).
void WalkFrames(const Id3Tag& tag, std::string_view id, const std::function<bool(std::string_view body)>& visit) {
  Bytes b{tag.buf};
  const bool v2 = tag.major < 3;
  const size_t headerLen = v2 ? 6 : 10;
  const size_t idLen = v2 ? 3 : 4;
  uint64_t pos = tag.framesStart;
  while (b.Has(pos, headerLen)) {
    if (b.U8(pos) == 0) return;
    uint64_t size = tag.major == 4 ? b.Syncsafe(pos + 4) : v2 ? b.BE24(pos + 3) : b.BE32(pos + 4);
    uint64_t bodyStart = pos + headerLen;
    if (b.IsNoCase(pos, id.substr(0, idLen)) && id.size() == idLen) {
      std::string_view body = b.Sub(bodyStart, size);
      std::string owned;
      bool skip = false;
      if (tag.major == 4) {
        uint8_t format = b.U8(pos + 9);
        if (format & 0x0C) skip = true;  // compressed or encrypted: nothing readable
        if (format & 0x01) body = body.size() >= 4 ? body.substr(4) : std::string_view{};
        if ((format & 0x02) || (tag.flags & 0x80)) {
          owned = Resync(body);
          body = owned;
        }
      } else if (tag.major == 3) {
        uint8_t format = b.U8(pos + 9);
        if (format & 0xC0) skip = true;
        if (format & 0x20) body = body.size() >= 1 ? body.substr(1) : std::string_view{};
      }
      if (skip) {
        if (visit(std::string_view{})) return;
      } else if (visit(body)) {
        return;
      }
    }
    pos = bodyStart + size;
  }
}

// Text after an encoding byte. Encoding 1 honours its byte-order mark
// (little-endian without one), 2 is big-endian without a mark.
std::string DecodeText(uint8_t encoding, std::string_view text) {
  switch (encoding) {
    case 0:
      return LegacyToUtf8(CutAtZero(text));
    case 3:
      return SanitizeUtf8(CutAtZero(text));
    case 1:
    case 2: {
      bool big = encoding == 2;
      if (text.size() >= 2) {
        uint8_t a = static_cast<uint8_t>(text[0]), c = static_cast<uint8_t>(text[1]);
        if (a == 0xFF && c == 0xFE) {
          big = false;
          text.remove_prefix(2);
        } else if (a == 0xFE && c == 0xFF) {
          big = true;
          text.remove_prefix(2);
        }
      }
      return Utf16UntilZero(text, big);
    }
    default:
      return {};
  }
}

// Skips a zero-terminated string in the given encoding; npos when the
// terminator is missing.
size_t SkipTerminated(std::string_view s, size_t from, uint8_t encoding) {
  if (encoding == 1 || encoding == 2) {
    for (size_t i = from; i + 1 < s.size(); i += 2)
      if (s[i] == 0 && s[i + 1] == 0) return i + 2;
    return std::string_view::npos;
  }
  size_t z = s.find('\0', from);
  return z == std::string_view::npos ? z : z + 1;
}

struct MpegHeader {
  int version = 0;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5 (1, reserved, read as MPEG-1)
  int layer = 0;    // 3 Layer I, 2 Layer II, 1 Layer III
  int bitrateIndex = 0;
  int rateIndex = 0;
  int channelMode = 0;
};

int BitrateKbps(const MpegHeader& h) {
  static const int kV1[3][16] = {
      {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // I
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // II
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // III
  };
  static const int kV2[2][16] = {
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},  // I
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},       // II, III
  };
  if (h.layer == 0) return 0;
  int row = 3 - h.layer;  // 0 I, 1 II, 2 III
  bool v1 = h.version == 3 || h.version == 1;
  return v1 ? kV1[row][h.bitrateIndex] : kV2[row == 0 ? 0 : 1][h.bitrateIndex];
}

int SampleRate(const MpegHeader& h) {
  static const int kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
  if (h.rateIndex == 3) return 0;
  int row = (h.version == 3 || h.version == 1) ? 0 : h.version == 2 ? 1 : 2;
  return kRates[row][h.rateIndex];
}

}  // namespace

std::string Mp3Title(Source& src) {
  if (auto tag = ReadId3(src)) {
    std::string title;
    WalkFrames(*tag, tag->major < 3 ? "TT2" : "TIT2", [&](std::string_view body) {
      if (!body.empty()) title = DecodeText(static_cast<uint8_t>(body[0]), body.substr(1));
      return true;
    });
    return title;
  }
  if (src.Size() < 128) return {};
  Bytes v1 = src.Get(src.Size() - 128, 128);
  if (!v1.IsNoCase(0, "TAG")) return {};
  std::string_view raw = v1.Sub(3, 30);
  if (raw == std::string_view("                              ")) return {};
  return LegacyToUtf8(CutAtZero(raw));
}

LyricsAndPicture Mp3LyricsAndPicture(Source& src, ImageDecoder* images) {
  LyricsAndPicture out;
  auto tag = ReadId3(src);
  if (!tag) return out;
  const bool v2 = tag->major < 3;
  WalkFrames(*tag, v2 ? "ULT" : "USLT", [&](std::string_view body) {
    if (body.size() < 4) return true;
    uint8_t enc = static_cast<uint8_t>(body[0]);
    size_t text = SkipTerminated(body, 4, enc);  // past language and descriptor
    if (text != std::string_view::npos) out.lyrics = DecodeText(enc, body.substr(text));
    return true;
  });
  if (!images) return out;
  WalkFrames(*tag, v2 ? "PIC" : "APIC", [&](std::string_view body) {
    if (body.size() < 2) return true;
    uint8_t enc = static_cast<uint8_t>(body[0]);
    size_t desc;
    if (v2) {
      desc = 5;  // encoding, image format, picture type
    } else {
      size_t mimeEnd = body.find('\0', 1);
      if (mimeEnd == std::string_view::npos || mimeEnd + 1 >= body.size()) return true;
      uint8_t type = static_cast<uint8_t>(body[mimeEnd + 1]);
      if (type != 0 && type != 3) return false;  // not the front cover: look further
      desc = mimeEnd + 2;
    }
    size_t data = SkipTerminated(body, desc, enc);
    if (data == std::string_view::npos || data >= body.size()) return true;
    std::string_view pic = body.substr(data);
    out.picture = images->DecodeImageMemory(std::vector<uint8_t>(pic.begin(), pic.end()));
    return true;
  });
  return out;
}

int MpegAudioLength(Source& src) {
  uint64_t size = src.Size();
  uint64_t start = 0;
  {
    Bytes head = src.Get(0, 10);
    if (head.IsNoCase(0, "ID3")) {
      if (!head.Has(0, 10)) return 0;
      start = uint64_t(head.Syncsafe(6)) + 10;
    }
  }
  uint64_t trailer = 0;
  if (size >= 128 && src.Get(size - 128, 3).IsNoCase(0, "TAG")) trailer = 128;
  Bytes f = src.Get(start, 48);
  if (!f.Has(0, 4)) return 0;
  MpegHeader h;
  h.version = (f.U8(1) >> 3) & 3;
  h.layer = (f.U8(1) >> 1) & 3;
  h.bitrateIndex = f.U8(2) >> 4;
  h.rateIndex = (f.U8(2) >> 2) & 3;
  h.channelMode = f.U8(3) >> 6;
  const bool v1 = h.version == 3 || h.version == 1;
  const bool mono = h.channelMode == 3;
  // The Xing header follows the side information, whose size depends on the
  // version and the channels.
  uint64_t xing = v1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
  int rate = SampleRate(h);
  if (f.Is(xing, "Xing") && f.Has(xing, 12) && rate > 0) {
    uint32_t frames = f.BE32(xing + 8);
    if (frames != 0xFFFFFFFFu) {
      uint64_t perFrame = h.layer == 3 ? 384 : (h.layer == 1 && !v1) ? 576 : 1152;
      return ClampSeconds(static_cast<double>(uint64_t(frames) * perFrame / uint64_t(rate)));
    }
  }
  int kbps = BitrateKbps(h);
  if (kbps == 0 || size <= trailer + start) return 0;
  return CeilSeconds(static_cast<double>(size - trailer - start) * 8.0 / (kbps * 1000.0));
}

}  // namespace qel::meta
