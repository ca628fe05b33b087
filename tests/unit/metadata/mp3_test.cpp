#include <gtest/gtest.h>

#include "core/metadata/readers.h"
#include "fakes/fakes.h"
#include "layouts.h"

namespace qel::test {
namespace {

using namespace layouts;
using meta::Source;

std::string Title(const std::string& bytes) {
  Source s = Source::Memory(bytes);
  return meta::Mp3Title(s);
}

std::string Png(uint32_t w, uint32_t h) {
  return std::string("\x89PNG\r\n\x1a\n", 8) + BE(13, 4) + "IHDR" + BE(w, 4) + BE(h, 4) + Z(5);
}

// As a tagger stores unsynchronised bytes: a zero after every FF that is
// followed by a byte of E0 or more, by a zero, or by nothing.
std::string Unsync(const std::string& in) {
  std::string out;
  for (size_t i = 0; i < in.size(); ++i) {
    out.push_back(in[i]);
    if (uint8_t(in[i]) == 0xFF && (i + 1 == in.size() || uint8_t(in[i + 1]) >= 0xE0 || in[i + 1] == 0)) out.push_back('\0');
  }
  return out;
}

// A 2.4 frame with the given format flags and the bytes they announce.
std::string Frame24(const std::string& id, uint8_t format, const std::string& stored) {
  return id + Syncsafe(stored.size()) + '\0' + char(format) + stored;
}
// A 2.4 frame whose size is written plainly, as some writers did.
std::string PlainFrame24(const std::string& id, const std::string& body) { return id + BE(body.size(), 4) + Z(2) + body; }

struct TitleCase {
  const char* name;
  std::string bytes;
  std::string title;
};

TEST(Mp3Title, FramesEncodingsAndVersions) {
  const std::string bigApic = Frame(3, "APIC", std::string("\0image/png\0\3\0", 13) + std::string(5000, 'x'));
  std::string unsyncBody = std::string("\x01\xFF\xFE", 3) + Utf16Le(u"\uFF21B") + Z(2);
  std::string unsyncFrames = "TIT2" + BE(unsyncBody.size(), 4) + Z(2) + Unsync(unsyncBody);
  // A picture full of FF bytes before the title: skipping it has to take
  // the inserted zeros out as it goes.
  std::string ffPicture = std::string("\0image/png\0\3\0", 13) + std::string(3000, '\xFF');
  std::string unsyncPicture = Unsync(Frame(3, "APIC", ffPicture) + Frame(3, "TIT2", std::string("\0Behind", 7)));
  std::string v22Big = Frame(2, "TAL", std::string(300, 'a'));
  const TitleCase cases[] = {
      {"ascii, encoding 0", Tag(3, Frame(3, "TIT2", std::string("\0Hello", 6))), "Hello"},
      {"code page text, encoding 0", Tag(3, Frame(3, "TIT2", std::string("\0\x93\xFA\x96\x7B", 5))), "日本"},
      {"encoding 0 stops at a zero", Tag(3, Frame(3, "TIT2", std::string("\0Ab\0cd", 6))), "Ab"},
      {"UTF-16 little-endian mark", Tag(3, Frame(3, "TIT2", "\x01\xFF\xFE" + Utf16Le(u"曲名") + Z(2))), "曲名"},
      {"UTF-16 big-endian mark is honoured", Tag(3, Frame(3, "TIT2", "\x01\xFE\xFF" + Utf16Be(u"曲名") + Z(2))), "曲名"},
      {"UTF-16 odd last byte", Tag(3, Frame(3, "TIT2", "\x01\xFF\xFE" + Utf16Le(u"ab") + "c")), "abc"},
      {"UTF-16 unpaired surrogate", Tag(3, Frame(3, "TIT2", "\x01\xFF\xFE" + Utf16Le(u"a") + LE(0xD800, 2))), "a\uFFFD"},
      {"encoding 2, big-endian without mark", Tag(4, Frame(4, "TIT2", "\x02" + Utf16Be(u"歌"))), "歌"},
      {"encoding 3, UTF-8", Tag(4, Frame(4, "TIT2", "\x03夜の歌")), "夜の歌"},
      {"encoding 3, invalid UTF-8", Tag(4, Frame(4, "TIT2", "\x03\xFF" "a")), "\uFFFD" "a"},
      {"unknown encoding", Tag(3, Frame(3, "TIT2", "\x07text")), ""},
      {"identifier in lower case", Tag(3, Frame(3, "tit2", std::string("\0low", 4))), "low"},
      {"v2.2 TT2 after a 300-byte frame", Tag(2, v22Big + Frame(2, "TT2", std::string("\0Two", 4))), "Two"},
      {"v2.2 ignores TIT2", Tag(2, Frame(2, "TIT", std::string("\0No", 3))), ""},
      {"v2.4 syncsafe frame sizes", Tag(4, Frame(4, "TALB", std::string(200, 'a')) + Frame(4, "TIT2", std::string("\0Four", 5))), "Four"},
      {"v2.3 plain frame sizes", Tag(3, Frame(3, "TALB", std::string(200, 'a')) + Frame(3, "TIT2", std::string("\0Three", 6))), "Three"},
      {"large picture before the title", Tag(3, bigApic + Frame(3, "TIT2", std::string("\0After", 6))), "After"},
      {"padding ends the walk", Tag(3, Frame(3, "TALB", "\0x") + Z(20) + Frame(3, "TIT2", std::string("\0Out", 4))), ""},
      {"unsynchronised tag", Tag(3, unsyncFrames + Frame(3, "TALB", "\0x"), 0x80), "\uFF21" "B"},
      {"unsynchronised picture before the title", Tag(3, unsyncPicture, 0x80), "Behind"},
      {"v2.4 grouping byte", Tag(4, Frame24("TIT2", 0x40, std::string("\x07\0Grouped", 9))), "Grouped"},
      {"v2.4 group, data length and unsynchronised",
       Tag(4, Frame24("TIT2", 0x43, "\x07" + Syncsafe(9) + Unsync(std::string("\x01\xFF\xFE", 3) + Utf16Le(u"\uFFE0") + Z(2)))),
       "\uFFE0"},
      {"v2.4 data length only", Tag(4, Frame24("TIT2", 0x01, Syncsafe(5) + std::string("\0Dli", 4))), "Dli"},
      {"v2.3 grouping byte", Tag(3, "TIT2" + BE(8, 4) + std::string("\0\x20\x05\0Group", 9)), "Group"},
      {"v2.4 plain sizes over 127 bytes",
       Tag(4, PlainFrame24("TALB", std::string(200, 'a')) + PlainFrame24("TIT2", std::string("\0Plain", 6))), "Plain"},
      {"v2.4 plain size of 256 bytes",
       Tag(4, PlainFrame24("TALB", std::string(256, 'a')) + PlainFrame24("TIT2", std::string("\0Even", 5))), "Even"},
      {"v2.4 plain sizes over letters",
       Tag(4, PlainFrame24("TXXX", std::string(300, 'A')) + PlainFrame24("TIT2", std::string("\0Letters", 8)), 0, 40), "Letters"},
      {"v2.4 syncsafe size of 256 bytes", Tag(4, Frame(4, "TALB", std::string(256, 'a')) + Frame(4, "TIT2", std::string("\0Safe", 5))), "Safe"},
      {"v2.3 extended header", Tag(3, BE(6, 4) + Z(6) + Frame(3, "TIT2", std::string("\0Ext", 4)), 0x40), "Ext"},
      {"v2.4 extended header", Tag(4, Syncsafe(6) + Z(2) + Frame(4, "TIT2", std::string("\0Ext4", 5)), 0x40), "Ext4"},
      {"frame header cut by the tag end", Tag(3, Frame(3, "TALB", "\0x") + "TIT2"), ""},
      {"frame body running past the tag", Tag(3, "TIT2" + BE(1000, 4) + Z(2) + std::string("\0Cut", 4)), "Cut"},
      {"no title frame: the ID3v1 title",
       Tag(3, Frame(3, "TALB", "\0x")) + std::string(100, 'a') + "TAG" + "Fallback" + Z(117), "Fallback"},
      {"an empty title frame: the ID3v1 title",
       Tag(3, Frame(3, "TIT2", std::string("\0", 1))) + std::string(100, 'a') + "TAG" + "Fallback" + Z(117), "Fallback"},
      {"a compressed title frame: the ID3v1 title",
       Tag(4, Frame24("TIT2", 0x09, Syncsafe(6) + "xxxx")) + std::string(100, 'a') + "TAG" + "Fallback" + Z(117), "Fallback"},
  };
  for (const auto& c : cases) EXPECT_EQ(Title(c.bytes), c.title) << c.name;
}

TEST(Mp3Title, SyncsafeTagSize) {
  // 00 00 02 01 is 257 bytes: a title frame placed just after 257 bytes of
  // tag is outside it; one inside is found.
  std::string inside = Frame(3, "TIT2", std::string("\0In", 3));
  std::string tag = std::string("ID3\3\0\0\0\0\x02\x01", 10) + inside + Z(257 - inside.size());
  EXPECT_EQ(Title(tag + Frame(3, "TALB", "\0x")), "In");
  std::string outside = std::string("ID3\3\0\0\0\0\x02\x01", 10) + Z(257) + Frame(3, "TIT2", std::string("\0Out", 4));
  EXPECT_EQ(Title(outside), "");
}

TEST(Mp3Title, Id3v1) {
  auto v1 = [](const std::string& field) { return std::string(500, '\xAA') + "TAG" + field + Z(125 - field.size()); };
  EXPECT_EQ(Title(v1(std::string(30, ' '))), "");
  EXPECT_EQ(Title(v1("Abcd" + Z(26))), "Abcd");
  EXPECT_EQ(Title(v1("Abcd" + std::string(26, ' '))), "Abcd" + std::string(26, ' '));
  EXPECT_EQ(Title(v1(std::string("\x93\xFA\x96\x7B", 4))), "日本");
  EXPECT_EQ(Title(std::string(500, 'a')), "");
  EXPECT_EQ(Title("TAG"), "");  // shorter than a tag
}

TEST(Mp3Lyrics, EncodingsAndDescriptors) {
  struct Case {
    const char* name;
    std::string tag;
    std::string lyrics;
  };
  const Case cases[] = {
      {"encoding 0", Tag(3, Frame(3, "USLT", std::string("\0eng\0line 1\nline 2", 18))), "line 1\nline 2"},
      {"encoding 1 with marks", Tag(3, Frame(3, "USLT", std::string("\1eng\xFF\xFE\0\0\xFF\xFE", 10) + Utf16Le(u"歌詞") + Z(2))), "歌詞"},
      {"encoding 3", Tag(4, Frame(4, "USLT", std::string("\3jpn\0", 5) + "夜\r\n朝")), "夜\r\n朝"},
      {"a descriptor is not part of the lyrics", Tag(3, Frame(3, "USLT", std::string("\0engdesc\0Words", 14))), "Words"},
      {"UTF-16 descriptor", Tag(3, Frame(3, "USLT", std::string("\1eng\xFF\xFE", 6) + Utf16Le(u"d") + Z(2) + "\xFF\xFE" + Utf16Le(u"W"))), "W"},
      {"v2.2 ULT", Tag(2, Frame(2, "ULT", std::string("\0eng\0Old", 8))), "Old"},
      {"encoding 2 or other", Tag(3, Frame(3, "USLT", std::string("\7eng\0x", 6))), ""},
      {"no terminator", Tag(3, Frame(3, "USLT", std::string("\0engabc", 7))), ""},
  };
  for (const auto& c : cases) {
    Source s = Source::Memory(c.tag);
    EXPECT_EQ(meta::Mp3LyricsAndPicture(s, nullptr).lyrics, c.lyrics) << c.name;
  }
}

// A synchronised lyrics frame in milliseconds: (text, time) entries after
// the encoding, language, format, content type and descriptor.
std::string Sylt(int major, char encoding, const std::vector<std::pair<std::string, uint32_t>>& entries,
                 char format = 2) {
  std::string body = std::string(1, encoding) + "jpn" + format + std::string("\1", 1) +
                     (encoding == 1 ? std::string("\xFF\xFE", 2) + Z(2) : Z(1));
  for (const auto& [text, ms] : entries) body += text + BE(ms, 4);
  return Frame(major, major == 2 ? "SLT" : "SYLT", body);
}

TEST(Mp3Lyrics, SynchronisedLinesInMilliseconds) {
  using Lines = std::vector<std::pair<long long, std::string>>;
  struct Case {
    const char* name;
    std::string tag;
    Lines lines;
  };
  const std::string z(1, '\0');
  const Case cases[] = {
      {"a line an entry", Tag(3, Sylt(3, 3, {{"夜の" + z, 1000}, {"歌" + z, 2500}})), {{1000, "夜の"}, {2500, "歌"}}},
      {"syllables joined into lines",
       Tag(4, Sylt(4, 0, {{"one " + z, 100}, {"two" + z, 300}, {"\nthree" + z, 900}, {" four" + z, 1200}})),
       {{100, "one two"}, {900, "three four"}}},
      {"UTF-16", Tag(3, Sylt(3, 1, {{"\xFF\xFE" + Utf16Le(u"歌") + Z(2), 42}})), {{42, "歌"}}},
      {"v2.2 SLT", Tag(2, Sylt(2, 0, {{"old" + z, 7}})), {{7, "old"}}},
      {"MPEG frame times are not read", Tag(3, Sylt(3, 0, {{"x" + z, 7}}, 1)), {}},
      {"a cut entry ends the lines",
       Tag(3, Frame(3, "SYLT", std::string("\0jpn\2\1\0", 7) + "a" + z + BE(5, 4) + "b" + z + Z(2))), {{5, "a"}}},
      {"no time after the text", Tag(3, Frame(3, "SYLT", std::string("\0jpn\2\1\0a\0\0\0", 11))), {}},
  };
  for (const auto& c : cases) {
    Source s = Source::Memory(c.tag);
    Lines got;
    for (const SyncedLine& line : meta::Mp3LyricsAndPicture(s, nullptr).syncedLyrics) got.push_back({line.ms, line.words});
    EXPECT_EQ(got, c.lines) << c.name;
  }
}

TEST(Mp3Picture, FrontCoverThroughTheDecoder) {
  struct Case {
    const char* name;
    std::string tag;
    int width;  // 0: no picture
  };
  auto apic = [](int major, uint8_t type, const std::string& data, const std::string& desc = std::string("\0", 1)) {
    return Frame(major, "APIC", std::string("\0image/png\0", 11) + char(type) + desc + data);
  };
  const Case cases[] = {
      {"front cover", Tag(3, apic(3, 3, Png(5, 7))), 5},
      {"type other", Tag(3, apic(3, 0, Png(6, 7))), 6},
      {"back cover before the front", Tag(3, apic(3, 4, Png(2, 2)) + apic(3, 3, Png(9, 4))), 9},
      {"only a back cover", Tag(3, apic(3, 4, Png(2, 2))), 0},
      {"v2.4 tag", Tag(4, apic(4, 3, Png(8, 3))), 8},
      {"v2.2 PIC, any type", Tag(2, Frame(2, "PIC", std::string("\0PNG\x04", 5) + "d" + Z(1) + Png(4, 4))), 4},
      {"UTF-16 description",
       Tag(3, Frame(3, "APIC", std::string("\1image/png\0\3\xFF\xFE", 14) + Utf16Le(u"c") + Z(2) + Png(3, 3))), 3},
      {"data the decoder rejects", Tag(3, apic(3, 3, "not an image")), 0},
  };
  for (const auto& c : cases) {
    FakeImages images;
    Source s = Source::Memory(c.tag);
    auto found = meta::Mp3LyricsAndPicture(s, &images);
    EXPECT_EQ(found.picture ? found.picture->width : 0, c.width) << c.name;
  }
  FakeImages images;
  const std::string untagged = std::string(200, 'a') + Png(3, 3);
  Source none = Source::Memory(untagged);
  EXPECT_FALSE(meta::Mp3LyricsAndPicture(none, &images).picture);
  EXPECT_EQ(images.calls, 0);
}

std::string FrameHeader(uint8_t b1, uint8_t b2, uint8_t b3) { return std::string("\xFF", 1) + char(b1) + char(b2) + char(b3); }

int Length(const std::string& bytes) {
  Source s = Source::Memory(bytes);
  return meta::MpegAudioLength(s);
}

TEST(MpegAudioLength, XingAndBitrates) {
  const std::string stereo = FrameHeader(0xFB, 0x90, 0x00);  // MPEG-1 Layer III, 128 kbit/s, 44100 Hz
  const std::string mono = FrameHeader(0xFB, 0x90, 0xC0);
  auto xing = [](const std::string& header, size_t at, uint32_t frames, const char* word = "Xing", uint32_t flags = 15) {
    return header + Z(at - 4) + word + BE(flags, 4) + BE(frames, 4) + Z(100);
  };
  // Fraunhofer's header: version, delay, quality, bytes, frames, then its
  // table.
  auto vbri = [](const std::string& header, uint32_t frames) {
    return header + Z(32) + "VBRI" + BE(1, 2) + BE(1000, 2) + BE(75, 2) + BE(4'000'000, 4) + BE(frames, 4) + Z(100);
  };
  // A 2.4 tag with a footer: the audio starts after it.
  std::string footerTag = std::string("ID3\4\0\x10", 6) + Syncsafe(1004) + Frame(4, "TIT2", std::string("\0F", 2)) + Z(1004 - 12) +
                          std::string("3DI\4\0\x10", 6) + Syncsafe(1004);
  struct Case {
    const char* name;
    std::string bytes;
    int seconds;
  };
  std::string big(4'000'000, '\0');
  std::string tag = std::string("ID3\3\0\0", 6) + Syncsafe(1014);
  big.replace(0, 10, tag);
  big.replace(1024, 4, stereo);
  big.replace(big.size() - 128, 3, "TAG");
  std::string noTrailer = big;
  noTrailer.replace(noTrailer.size() - 128, 3, "XXX");
  const Case cases[] = {
      {"Xing at 36, 10000 frames", xing(stereo, 36, 10000), 261},
      {"Xing at 21 in a single channel", xing(mono, 21, 10000), 261},
      {"Xing of zero frames answers 0", xing(stereo, 36, 0), 0},
      {"unknown frame count: bitrate", xing(stereo, 36, 0xFFFFFFFF) + std::string(16000 - 152, 'a'), 1},
      {"Info is not Xing", xing(stereo, 36, 10000, "Info") + std::string(32000 - 152, 'a'), 2},
      // Bytes and table only: the byte count stands where frames would.
      {"Xing without a frame count: bitrate", xing(stereo, 36, 4'000'000, "Xing", 14) + std::string(32000 - 152, 'a'), 2},
      {"Xing with frames and nothing else", xing(stereo, 36, 10000, "Xing", 1), 261},
      {"VBRI, 10000 frames", vbri(stereo, 10000) + std::string(50000, 'a'), 261},
      {"VBRI in MPEG-2, 576 samples", vbri(FrameHeader(0xF3, 0x90, 0x00), 1000) + std::string(50000, 'a'), 26},
      {"after a 2.4 footer", footerTag + stereo + std::string(32000 - 4, 'a'), 2},
      {"4,000,000 bytes at 128 kbit/s with both tags", big, 250},
      {"the same without ID3v1", noTrailer, 250},
      {"MPEG-2 Layer III, 80 kbit/s", FrameHeader(0xF3, 0x90, 0x00) + std::string(100000 - 4, 'a'), 10},
      {"MPEG-2 Xing after 17 bytes of side information, 576 samples", xing(FrameHeader(0xF3, 0x90, 0x00), 21, 1000), 26},
      {"free bitrate", FrameHeader(0xFB, 0x00, 0x00) + std::string(100000, 'a'), 0},
      {"program stream", std::string("\0\0\x01\xBA", 4) + std::string(100000, 'a'), 0},
      {"too short", std::string("\xFF\xFB", 2), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(Length(c.bytes), c.seconds) << c.name;

  // 00 00 02 01: the frame is at 267, not at 523.
  std::string tag257 = std::string("ID3\3\0\0\0\0\x02\x01", 10) + Z(257);
  EXPECT_EQ(Length(tag257 + xing(stereo, 36, 44100)), 1152);
}

}  // namespace
}  // namespace qel::test
