// ID3v2 tags (title, lyrics, cover), the ID3v1 title and the MPEG audio
// length of the first frame.
//
// Where this reading goes further than the plain one, and why:
// - A UTF-16 byte-order mark is honoured, so big-endian text reads as text
//   rather than byte-swapped garbage; encoding 2 (UTF-16BE without a mark,
//   2.4) is decoded like it instead of giving nothing.
// - Covers are taken from 2.4 tags as well: most taggers write 2.4 now.
// - A tag without a title falls back to the ID3v1 title behind the audio:
//   taggers that add an ID3v2 tag for other fields leave the old title there.
// - Frame format flags are honoured (grouping byte, data length, per-frame
//   unsynchronisation, and compressed or encrypted frames read as nothing),
//   and 2.4 tags written with plain instead of syncsafe frame sizes, as some
//   writers did for years, are read by the sizes they really hold.
// - The audio starts after a 2.4 tag's footer; the Xing header is looked for
//   where MPEG-2 and single-channel frames put it (their side information is
//   shorter), its frame count is used only when its flags say it is there,
//   and a VBRI header gives the frame count of Fraunhofer encoders' files.
// Bodies are never read whole from the size a frame claims: the walk skips
// over frames it does not want, and the one it wants is read up to what
// such a frame can sensibly hold.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/metadata/readers.h"
#include "core/text/encoding.h"

namespace qel::meta {
namespace {

// What a frame body may sensibly hold. A longer title or lyrics frame is
// cut; a longer picture is passed over. One more byte than a round number
// keeps UTF-16 text after the encoding byte whole.
constexpr uint64_t kMaxTextFrame = (64u << 10) + 1;
constexpr uint64_t kMaxLyricsFrame = (1u << 20) + 1;
constexpr uint64_t kMaxPictureFrame = 32u << 20;
// Passing over unsynchronised bytes means looking at each of them; a title
// behind more than this of them is not looked for (such tags are old, and
// their pictures small).
constexpr uint64_t kMaxResyncScan = 16u << 20;
// Real tags hold tens of frames, large ones a few thousand; a tag of
// millions of tiny frames is damage, and walking it would cost a scan time.
constexpr int kMaxFrames = 16384;
// A song's synchronised lyrics hold hundreds of entries, syllable by
// syllable a few thousand.
constexpr size_t kMaxSyncedEntries = 20000;

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
  uint64_t framesStart = 10;  // file offsets
  uint64_t end = 10;          // where the frames end (the footer follows)
  bool plainSizes = false;    // a 2.4 tag written with 2.3-style frame sizes
};

// The frame bytes of a tag as its frame sizes count them. Up to 2.3 an
// unsynchronised tag is unsynchronised as a whole and the sizes count the
// bytes before the zeros went in, so the zeros come out here as the bytes go
// by; skipping over such bytes has to look at them. In 2.4 sizes count the
// stored bytes, and each frame body is undone by itself.
class TagStream final : public Stream {
 public:
  TagStream(Source& src, uint64_t start, uint64_t end, bool resync)
      : src_(src), start_(std::min(start, end)), pos_(start_), end_(end), resync_(resync) {}
  std::string Read(uint64_t n) override {
    std::string out;
    Pull(std::min(n, kMaxRead), &out);
    return out;
  }
  uint64_t Skip(uint64_t n) override { return Pull(n, nullptr); }

 private:
  uint64_t Pull(uint64_t n, std::string* out) {
    if (!resync_) {
      uint64_t take = std::min(n, end_ - pos_);
      if (out) {
        *out = src_.Copy(pos_, take);
        take = out->size();
      }
      pos_ += take;
      return take;
    }
    uint64_t done = 0;
    const uint64_t stop = std::min(end_, start_ + kMaxResyncScan);
    while (done < n && pos_ < stop) {
      Bytes b = src_.Get(pos_, std::min<uint64_t>(stop - pos_, 64u << 10));
      if (b.size() == 0) break;
      const char* p = b.s.data();
      size_t i = 0;
      while (i < b.size() && done < n) {
        if (afterFF_) {
          afterFF_ = false;
          if (p[i] == 0) {  // the zero that was put in
            ++i;
            continue;
          }
        }
        // Everything up to and including the next FF is taken as it is.
        size_t room = std::min<uint64_t>(b.size() - i, n - done);
        const void* ff = std::memchr(p + i, 0xFF, room);
        size_t run = ff ? static_cast<const char*>(ff) - (p + i) + 1 : room;
        if (out) out->append(p + i, run);
        afterFF_ = ff != nullptr;
        i += run;
        done += run;
      }
      pos_ += i;
    }
    return done;
  }

  Source& src_;
  uint64_t start_, pos_, end_;
  bool resync_;
  bool afterFF_ = false;
};

bool PlausibleFrameId(const Bytes& h) {
  for (int i = 0; i < 4; ++i) {
    uint8_t c = h.U8(i);
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Walks the frame headers of a 2.4 tag with one reading of the sizes: how
// many plausible frames it met, whether it ended cleanly (at the tag's end
// or at padding), and whether any size read differently the other way.
struct SizeWalk {
  int frames = 0;
  bool clean = false;
  bool differs = false;
};
SizeWalk WalkSizes(Source& src, const Id3Tag& tag, bool plain) {
  SizeWalk w;
  uint64_t pos = tag.framesStart;
  for (int i = 0; i < kMaxFrames; ++i) {
    if (pos >= tag.end || tag.end - pos < 10) {
      w.clean = pos == tag.end || (pos < tag.end && src.Get(pos, 1).U8(0) == 0);
      return w;
    }
    Bytes h = src.Get(pos, 10);
    if (h.U8(0) == 0) {
      w.clean = true;
      return w;
    }
    if (!PlausibleFrameId(h)) return w;
    ++w.frames;
    uint64_t safe = h.Syncsafe(4), raw = h.BE32(4);
    if (safe != raw) w.differs = true;
    pos += 10 + (plain ? raw : safe);
  }
  return w;
}

std::optional<Id3Tag> Id3At(Source& src, uint64_t at) {
  Bytes head = src.Get(at, 10);
  if (!head.Has(0, 10) || !head.IsNoCase(0, "ID3")) return std::nullopt;
  Id3Tag tag;
  tag.major = head.U8(3);
  tag.flags = head.U8(5);
  tag.end = std::min(at + 10 + head.Syncsafe(6), src.Size());
  tag.framesStart = at + 10;
  if (tag.flags & 0x40) {
    Bytes ext = src.Get(at + 10, 4);
    tag.framesStart = tag.major == 4 ? at + 10 + ext.Syncsafe(0) : at + 14 + ext.BE32(0);
  }
  tag.framesStart = std::min(tag.framesStart, tag.end);
  if (tag.major == 4) {
    // Some writers put plain sizes into 2.4 tags. Both readings agree below
    // 128 bytes; beyond, the one whose walk meets more frames and ends
    // cleanly is the one the writer meant.
    SizeWalk safe = WalkSizes(src, tag, false);
    if (safe.differs) {
      SizeWalk plain = WalkSizes(src, tag, true);
      tag.plainSizes = plain.frames > safe.frames || (plain.frames == safe.frames && plain.clean && !safe.clean);
    }
  }
  return tag;
}

// What a walk looks for: the frame's identifier and how much of its body
// may be read; a longer body is cut, or with passOverLonger not read at all.
struct Wanted {
  std::string_view id;
  uint64_t maxBody;
  bool passOverLonger = false;
};

// Calls visit(body) for each frame named want.id, in order, until it returns
// true. body is the frame's content after its format extras, or null for a
// frame that cannot be read (compressed or encrypted). A frame header
// that does not fit in the tag, or padding, ends the walk.
template <typename Visit>
void WalkFrames(Source& src, const Id3Tag& tag, const Wanted& want, Visit visit) {
  const bool v2 = tag.major < 3;
  const size_t headerLen = v2 ? 6 : 10;
  if (want.id.size() != (v2 ? 3u : 4u)) return;
  TagStream s(src, tag.framesStart, tag.end, (tag.flags & 0x80) && tag.major < 4);
  for (int i = 0; i < kMaxFrames; ++i) {
    std::string header = s.Read(headerLen);
    if (header.size() < headerLen || header[0] == 0) return;
    Bytes h{header};
    uint64_t size = v2 ? h.BE24(3) : (tag.major == 4 && !tag.plainSizes) ? h.Syncsafe(4) : h.BE32(4);
    if (!h.IsNoCase(0, want.id)) {
      if (s.Skip(size) < size) return;
      continue;
    }
    // The format flags add bytes before the content: in 2.4 a group byte,
    // an encryption method and a data length, in 2.3 a group byte after
    // the (unreadable) compression and encryption fields.
    uint64_t extras = 0;
    bool unreadable = false, unsync = false;
    if (tag.major == 4) {
      uint8_t f = h.U8(9);
      unreadable = f & 0x0C;
      extras = (f & 0x40 ? 1 : 0) + (f & 0x01 ? 4 : 0);
      unsync = (f & 0x02) || (tag.flags & 0x80);
    } else if (tag.major == 3) {
      uint8_t f = h.U8(9);
      unreadable = f & 0xC0;
      extras = f & 0x20 ? 1 : 0;
    }
    if (unreadable || size < extras) {
      if (visit(static_cast<const std::string*>(nullptr))) return;
      if (s.Skip(size) < size) return;
      continue;
    }
    s.Skip(extras);
    size -= extras;
    if (size > want.maxBody && want.passOverLonger) {
      if (s.Skip(size) < size) return;
      continue;
    }
    uint64_t take = std::min(size, want.maxBody);
    std::string body = s.Read(take);
    if (unsync) body = Resync(body);
    if (visit(&body)) return;
    if (s.Skip(size - take) < size - take) return;
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

// The lines of a synchronised lyrics frame: encoding, language, the time
// stamp format (2: milliseconds; 1, MPEG frames, is not read), the content
// type, a descriptor, then text and a 32-bit time, again and again. Writers
// give a line an entry, or a syllable one, with a line break opening each
// line: where any entry after the first opens so, entries join into lines.
std::vector<SyncedLine> SyncedLines(std::string_view body) {
  std::vector<SyncedLine> lines;
  if (body.size() < 6) return lines;
  const uint8_t enc = static_cast<uint8_t>(body[0]);
  if (body[4] != 2) return lines;
  size_t at = SkipTerminated(body, 6, enc);
  struct Entry {
    std::string text;
    long long ms;
  };
  std::vector<Entry> entries;
  while (at != std::string_view::npos && at < body.size() && entries.size() < kMaxSyncedEntries) {
    const size_t end = SkipTerminated(body, at, enc);
    if (end == std::string_view::npos || end + 4 > body.size()) break;
    Bytes time{body.substr(end, 4)};
    entries.push_back({DecodeText(enc, body.substr(at, end - at)), time.BE32(0)});
    at = end + 4;
  }
  auto opensLine = [](const std::string& text) { return !text.empty() && (text[0] == '\n' || text[0] == '\r'); };
  const bool syllables =
      std::any_of(entries.begin() + (entries.empty() ? 0 : 1), entries.end(), [&](const Entry& e) { return opensLine(e.text); });
  for (Entry& e : entries) {
    std::string text = std::move(e.text);
    const bool opens = opensLine(text);
    while (!text.empty() && (text[0] == '\n' || text[0] == '\r')) text.erase(0, 1);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (syllables && !opens && !lines.empty())
      lines.back().words += text;
    else
      lines.push_back({e.ms, std::move(text)});
  }
  return lines;
}

std::string Id3v1Title(Source& src) {
  if (src.Size() < 128) return {};
  Bytes v1 = src.Get(src.Size() - 128, 128);
  if (!v1.IsNoCase(0, "TAG")) return {};
  std::string_view raw = v1.Sub(3, 30);
  if (raw == std::string_view("                              ")) return {};
  return LegacyToUtf8(CutAtZero(raw));
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

uint64_t Id3v2Length(Source& src, uint64_t at) {
  Bytes head = src.Get(at, 10);
  if (!head.Has(0, 10) || !head.IsNoCase(0, "ID3")) return 0;
  uint64_t footer = (head.U8(3) == 4 && (head.U8(5) & 0x10)) ? 10 : 0;
  return 10 + uint64_t(head.Syncsafe(6)) + footer;
}

std::string Mp3Title(Source& src) {
  if (auto tag = Id3At(src, 0)) {
    std::string title;
    WalkFrames(src, *tag, {tag->major < 3 ? "TT2" : "TIT2", kMaxTextFrame}, [&](const std::string* body) {
      if (body && !body->empty()) title = DecodeText(static_cast<uint8_t>((*body)[0]), std::string_view(*body).substr(1));
      return true;
    });
    if (!title.empty()) return title;
  }
  return Id3v1Title(src);
}

LyricsAndPicture Mp3LyricsAndPicture(Source& src, ImageDecoder* images) {
  LyricsAndPicture out;
  auto tag = Id3At(src, 0);
  if (!tag) return out;
  const bool v2 = tag->major < 3;
  WalkFrames(src, *tag, {v2 ? "ULT" : "USLT", kMaxLyricsFrame}, [&](const std::string* found) {
    if (!found || found->size() < 4) return true;
    std::string_view body = *found;
    uint8_t enc = static_cast<uint8_t>(body[0]);
    size_t text = SkipTerminated(body, 4, enc);  // past language and descriptor
    if (text != std::string_view::npos) out.lyrics = DecodeText(enc, body.substr(text));
    return true;
  });
  WalkFrames(src, *tag, {v2 ? "SLT" : "SYLT", kMaxLyricsFrame}, [&](const std::string* found) {
    if (!found) return false;
    out.syncedLyrics = SyncedLines(*found);
    return !out.syncedLyrics.empty();
  });
  if (!images) return out;
  WalkFrames(src, *tag, {v2 ? "PIC" : "APIC", kMaxPictureFrame, true}, [&](const std::string* found) {
    if (!found || found->size() < 2) return true;
    std::string_view body = *found;
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
  if (src.Get(0, 3).IsNoCase(0, "ID3") && size < 10) return 0;
  const uint64_t start = Id3v2Length(src, 0);
  uint64_t trailer = 0;
  if (size >= 128 && src.Get(size - 128, 3).IsNoCase(0, "TAG")) trailer = 128;
  Bytes f = src.Get(start, 64);
  if (!f.Has(0, 4)) return 0;
  MpegHeader h;
  h.version = (f.U8(1) >> 3) & 3;
  h.layer = (f.U8(1) >> 1) & 3;
  h.bitrateIndex = f.U8(2) >> 4;
  h.rateIndex = (f.U8(2) >> 2) & 3;
  h.channelMode = f.U8(3) >> 6;
  const bool v1 = h.version == 3 || h.version == 1;
  const bool mono = h.channelMode == 3;
  const int rate = SampleRate(h);
  const uint64_t perFrame = h.layer == 3 ? 384 : (h.layer == 1 && !v1) ? 576 : 1152;
  auto framesLength = [&](uint32_t frames) {
    return ClampSeconds(static_cast<double>(uint64_t(frames) * perFrame / uint64_t(rate)));
  };
  // The Xing header follows the side information, whose size depends on the
  // version and the channels; its frame count is there only when the first
  // flag says so (otherwise the byte count or the table stands there).
  uint64_t xing = v1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
  if (f.Is(xing, "Xing") && f.Has(xing, 12) && rate > 0 && (f.BE32(xing + 4) & 1)) {
    uint32_t frames = f.BE32(xing + 8);
    if (frames != 0xFFFFFFFFu) return framesLength(frames);
  }
  // Fraunhofer's VBRI header stands 32 bytes after the frame header,
  // whatever the version: version, delay, quality, bytes, then frames.
  if (f.Is(36, "VBRI") && f.Has(36, 18) && rate > 0) return framesLength(f.BE32(36 + 14));
  int kbps = BitrateKbps(h);
  if (kbps == 0 || size <= trailer + start) return 0;
  return CeilSeconds(static_cast<double>(size - trailer - start) * 8.0 / (kbps * 1000.0));
}

}  // namespace qel::meta
