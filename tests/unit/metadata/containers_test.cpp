#include <gtest/gtest.h>

#include <cstring>

#include "core/metadata/readers.h"
#include "layouts.h"

namespace qel::test {
namespace {

using namespace layouts;
using meta::Source;

template <typename R>
auto Read(R reader, const std::string& bytes) {
  Source s = Source::Memory(bytes);
  return reader(s);
}

std::string StreamInfo(uint32_t rate, uint64_t samples, bool last = false) {
  std::string body(34, '\0');
  body[10] = char(rate >> 12);
  body[11] = char(rate >> 4);
  body[12] = char((rate & 0x0F) << 4);
  body[13] = char((samples >> 32) & 0x0F);
  body.replace(14, 4, BE(samples & 0xFFFFFFFF, 4));
  return std::string(1, char(last ? 0x80 : 0x00)) + BE(34, 3) + body;
}
std::string Block(int type, const std::string& body, bool last = false) {
  return std::string(1, char(type | (last ? 0x80 : 0))) + BE(body.size(), 3) + body;
}

TEST(Flac, Titles) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string title;
  };
  const std::string head = "fLaC" + StreamInfo(44100, 441000);
  const Case cases[] = {
      {"upper case", head + Block(4, Comments({"ARTIST=x", "TITLE=Abc"}), true), "Abc"},
      {"lower case", head + Block(4, Comments({"title=Abc"}), true), "Abc"},
      {"TITLESORT is another field", head + Block(4, Comments({"TITLESORT=Sort", "TITLE=Real"}), true), "Real"},
      {"after SEEKTABLE and APPLICATION", head + Block(3, Z(36)) + Block(2, "abcdefgh") + Block(4, Comments({"TITLE=Deep"}), true), "Deep"},
      {"Japanese UTF-8", head + Block(4, Comments({"TITLE=夜想曲"}), true), "夜想曲"},
      {"invalid UTF-8", head + Block(4, Comments({"TITLE=a\xFF"}), true), "a\uFFFD"},
      {"stops at a zero byte", head + Block(4, Comments({std::string("TITLE=ab\0cd", 11)}), true), "ab"},
      {"last block before the comment", "fLaC" + StreamInfo(44100, 1, true) + Block(4, Comments({"TITLE=No"})), ""},
      {"no comment block", head + Block(1, Z(10), true), ""},
      {"comment count larger than the block", head + Block(4, Comments({"A=1"}).substr(0, 15) + BE(0, 0), true), ""},
      {"comment length running past the file", head + Block(4, LE(0, 4) + LE(1, 4) + LE(9999, 4) + "TITLE=Cut"), "Cut"},
      {"magic in any case", "FLAC" + StreamInfo(44100, 1) + Block(4, Comments({"TITLE=Up"}), true), "Up"},
      {"after an ID3v2 tag", Tag(3, Frame(3, "TIT2", std::string("\0Id3", 4))) + head + Block(4, Comments({"TITLE=Behind"}), true), "Behind"},
      {"after an ID3v2 tag with a footer",
       std::string("ID3\4\0\x10", 6) + Syncsafe(0) + std::string("3DI\4\0\x10", 6) + Syncsafe(0) + head +
           Block(4, Comments({"TITLE=Footer"}), true), "Footer"},
      {"not FLAC", "OggS" + StreamInfo(44100, 1) + Block(4, Comments({"TITLE=x"}), true), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(meta::FlacTitle, c.bytes), c.title) << c.name;
}

TEST(Flac, Lengths) {
  EXPECT_EQ(Read(meta::FlacLength, "fLaC" + StreamInfo(44100, 441000)), 10);
  EXPECT_EQ(Read(meta::FlacLength, "fLaC" + StreamInfo(48000, 480001)), 11);
  std::string b = "fLaC" + StreamInfo(0, 100);
  b[18] = 0x0A, b[19] = char(0xC4), b[20] = 0x42;  // 44100 Hz, spread over three bytes
  b.replace(22, 4, BE(44100 * 3, 4));
  EXPECT_EQ(Read(meta::FlacLength, b), 3);
  EXPECT_EQ(Read(meta::FlacLength, "fLaC" + StreamInfo(0, 100)), 0);
  EXPECT_EQ(Read(meta::FlacLength, "fLaC" + StreamInfo(44100, 0x1'0000'0000ULL + 44100)), 97393);  // 36-bit count
  EXPECT_EQ(Read(meta::FlacLength, ("fLaC" + StreamInfo(44100, 441000)).substr(0, 25)), 0);
  EXPECT_EQ(Read(meta::FlacLength, Tag(4, Frame(4, "TIT2", std::string("\0x", 2)), 0, 300) + "fLaC" + StreamInfo(44100, 441000)), 10);
}

// Header packets of a stream as libvorbis lays them out: the identification
// header alone on the first page, the comment and setup headers after it.
std::string Vorbis(const std::vector<std::string>& comments, size_t maxSegments = 255) {
  return OggStream(7, {VorbisIdPacket()}) + OggStream(7, {VorbisCommentPacket(comments), "\x05vorbis" + Z(20)}, maxSegments, 1);
}

TEST(Ogg, Titles) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string title;
  };
  const std::string cover = "METADATA_BLOCK_PICTURE=" + std::string(100000, 'A');
  // The comment header ends after one comment, and the setup header behind
  // it on the same page holds what looks like a title comment.
  std::string shortCount = "\x03vorbis" + LE(1, 4) + "v" + LE(3, 4) + LE(3, 4) + "A=1";
  std::string setup = LE(9, 4) + "TITLE=Bad";
  // A video stream's pages before and between the audio's.
  std::string video = OggStream(9, {"\x80theora" + Z(35)});
  std::string comment = OggStream(7, {VorbisCommentPacket({cover, "TITLE=Mixed"})}, 255, 1);
  size_t secondPage = comment.find("OggS", 4);
  std::string interleaved = video + OggStream(7, {VorbisIdPacket()}) + comment.substr(0, secondPage) +
                            OggStream(9, {Z(300)}, 255, 1) + comment.substr(secondPage);
  const Case cases[] = {
      {"TITLE=", Vorbis({"TITLE=Night"}), "Night"},
      {"title= as FFmpeg writes it", Vorbis({"title=Night"}), "Night"},
      {"Title= mixed case", Vorbis({"ARTIST=a", "Title=Mix"}), "Mix"},
      {"TITLESORT does not match", Vorbis({"TITLESORT=s"}), ""},
      {"Japanese", Vorbis({"TITLE=夜の音"}), "夜の音"},
      {"empty vendor", OggStream(7, {VorbisIdPacket()}) + OggStream(7, {"\x03vorbis" + Comments({"TITLE=Empty"}, "")}, 255, 1), "Empty"},
      {"after a cover, over several pages", Vorbis({cover, "TITLE=Far"}), "Far"},
      {"over pages of few segments", Vorbis({"ARTIST=" + std::string(3000, 'a'), "TITLE=Small"}, 3), "Small"},
      {"a comment header cut short", Vorbis({cover, "TITLE=Far"}).substr(0, 50000), ""},
      {"the walk ends with the packet",
       OggStream(7, {VorbisIdPacket()}) + OggStream(7, {shortCount, setup}, 255, 1), ""},
      {"another stream first and in between", interleaved, "Mixed"},
      {"Opus", OggStream(3, {"OpusHead" + Z(11)}) + OggStream(3, {"OpusTags" + Comments({"TITLE=Opus"})}, 255, 1), "Opus"},
      {"neither Vorbis nor Opus", OggStream(3, {"Speex   " + Z(72)}) + OggStream(3, {Comments({"TITLE=x"})}, 255, 1), ""},
      {"magic is exact", "oggs" + Vorbis({"TITLE=x"}).substr(4), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(meta::OggTitle, c.bytes), c.title) << c.name;
}

std::string Midi(const std::string& track, const std::string& second = "") {
  std::string s = "MThd" + BE(6, 4) + BE(1, 2) + BE(2, 2) + BE(96, 2) + "MTrk" + BE(track.size(), 4) + track;
  if (!second.empty()) s += "MTrk" + BE(second.size(), 4) + second;
  return s;
}
std::string Meta(int kind, const std::string& text) { return std::string("\0\xFF", 2) + char(kind) + char(text.size()) + text; }

TEST(Midi, Titles) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string title;
  };
  std::string longName(200, 'n');
  const Case cases[] = {
      {"name event", Midi(Meta(1, "text") + Meta(3, "Name")), "Name"},
      {"texts joined", Midi(Meta(1, "Hello") + Meta(1, "World")), "Hello World"},
      {"empty name skipped", Midi(Meta(3, "") + Meta(1, "Text")), "Text"},
      {"leading and trailing spaces", Midi(Meta(3, "  Song  ")), "Song"},
      {"embedded line break", Midi(Meta(3, "Two\r\nWords")), "Two  Words"},
      {"one trailing space", Midi(Meta(3, "x y ")), "x y"},
      {"code page", Midi(Meta(3, std::string("\x93\xFA\x96\x7B", 4))), "日本"},
      {"name in the second chunk", Midi(std::string("\0\x90\x3C\x40", 4), Meta(3, "Second")), "Second"},
      {"no name anywhere", Midi(std::string("\0\x90\x3C\x40", 4), Meta(1, "t")), ""},
      {"length of 128 or more", Midi(std::string("\0\xFF\x03\x81\x48", 5) + longName), longName},
      {"name cut by the track end", Midi(std::string("\0\xFF\x03\x10", 4) + "abc"), "abc"},
      {"not MIDI", "RIFF" + Midi(Meta(3, "x")).substr(4), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(meta::MidiTitle, c.bytes), c.title) << c.name;
}

std::string AsfObject(const char* guid, const std::string& body) { return std::string(guid, 16) + LE(body.size() + 24, 8) + body; }
const char kAsfHeader[] = "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C";
const char kAsfContent[] = "\x33\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C";
const char kAsfProperties[] = "\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65";
const char kAsfOther[] = "\xB5\x03\xBF\x5F\x2E\xA9\xCF\x11\x8E\xE3\x00\xC0\x0C\x20\x53\x65";

std::string Asf(const std::vector<std::string>& children, int count = -1) {
  std::string body = LE(count < 0 ? children.size() : count, 4) + "\x01\x02";
  for (const auto& c : children) body += c;
  return AsfObject(kAsfHeader, body);
}
std::string Content(const std::u16string& title) {
  std::string t = Utf16Le(title) + Z(2);
  return AsfObject(kAsfContent, LE(t.size(), 2) + Z(8) + t);
}
std::string Properties(uint64_t duration, uint64_t preroll) {
  return AsfObject(kAsfProperties, Z(40) + LE(duration, 8) + Z(8) + LE(preroll, 8) + Z(20));
}

TEST(Asf, TitlesAndLengths) {
  EXPECT_EQ(Read(meta::AsfTitle, Asf({AsfObject(kAsfOther, Z(30)), Content(u"窓の歌")})), "窓の歌");
  EXPECT_EQ(Read(meta::AsfTitle, Asf({AsfObject(kAsfOther, Z(30))})), "");
  EXPECT_EQ(Read(meta::AsfTitle, Asf({AsfObject(kAsfOther, Z(30)), Content(u"late")}, 1)), "");
  EXPECT_EQ(Read(meta::AsfTitle, "RIFF" + Asf({Content(u"x")}).substr(4)), "");
  // The play duration counts the preroll (milliseconds) before the first
  // audible sample. Playback ends when the position reaches the length, so
  // a part of a second counts as a whole one.
  struct Case {
    uint64_t duration, preroll;
    int seconds;
  };
  const Case cases[] = {
      {1'234'567'890, 3000, 121},  // 120.456789 s
      {50'000'000, 0, 5},
      {50'000'001, 0, 6},
      {80'000'000, 3000, 5},
      {80'000'001, 3000, 6},
      {10'000'000, 5000, 0},
      {UINT64_MAX, UINT64_MAX, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Read(meta::AsfLength, Asf({Content(u"t"), Properties(c.duration, c.preroll)})), c.seconds) << c.duration;
  // A child whose size is smaller than its header ends the walk.
  std::string broken = std::string(kAsfOther, 16) + LE(3, 8);
  EXPECT_EQ(Read(meta::AsfLength, Asf({broken, Properties(50'000'000, 0)})), 0);
}

std::string Ra(int version, const std::string& title, uint32_t n, uint32_t d) {
  std::string s(100, '\0');
  s.replace(0, 4, "\x2E\x72\x61\xFD");
  s.replace(4, 2, BE(version, 2));
  size_t lenAt = version == 3 ? 22 : version == 5 ? 67 : 69;
  if (version == 3) {
    s.replace(18, 4, BE(n, 4));
    s.replace(14, 4, BE(d, 4));
  } else {
    s.replace(28, 4, BE(n, 4));
    s.replace(32, 4, BE(d, 4));
  }
  s[lenAt] = char(title.size());
  s.replace(lenAt + 1, title.size(), title);
  return s;
}
std::string Rmf(const std::vector<std::string>& chunks) {
  std::string s = ".RMF" + BE(18, 4) + Z(6) + BE(chunks.size() + 1, 4);
  for (const auto& c : chunks) s += c;
  return s;
}
std::string Chunk(const std::string& tag, const std::string& body) { return tag + BE(body.size() + 8, 4) + body; }

TEST(RealMedia, VersionsAndChunks) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string title;
    int seconds;
  };
  const Case cases[] = {
      {"RealAudio 3", Ra(3, "Three", 3, 2), "Three", 90},
      {"RealAudio 4", Ra(4, "Four", 3, 2), "Four", 90},
      {"RealAudio 5", Ra(5, "Five", 1, 3), "Five", 20},
      {"zero denominator", Ra(4, "", 3, 0), "", 0},
      {"code page title", Ra(4, std::string("\x93\xFA", 2), 1, 1), "日", 60},
      {"RMF", Rmf({Chunk("PROP", Z(22) + BE(61999, 4) + Z(10)), Chunk("CONT", Z(2) + BE(7, 2) + "Content" + Z(8))}), "Content", 61},
      {"RMF without CONT or PROP", Rmf({Chunk("MDPR", Z(20))}), "", 0},
      {"RMF chunk of size 0", Rmf({"PROP" + BE(0, 4) + Z(40), Chunk("CONT", Z(2) + BE(1, 2) + "x")}), "", 0},
      {"not RealMedia", "RIFF" + Ra(4, "x", 1, 1).substr(4), "", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Read(meta::RealMediaTitle, c.bytes), c.title) << c.name;
    EXPECT_EQ(Read(meta::RealMediaLength, c.bytes), c.seconds) << c.name;
  }
}

// An audio file as iTunes lays it out: ftyp, moov/udta/meta (a full box
// holding hdlr and ilst)/ilst/©nam/data.
std::string M4a(const std::string& brand, const std::string& title, bool quickTimeMeta = false, bool underMoov = false) {
  std::string nam = Box("\xA9nam", Box("data", BE(1, 4) + Z(4) + title));
  std::string items = Box("hdlr", Z(25)) + Box("ilst", Box("\xA9" "ART", Box("data", BE(1, 4) + Z(4) + "A")) + nam);
  std::string meta = quickTimeMeta ? Box("meta", items) : FullBox("meta", items);
  std::string moov = Box("mvhd", Z(100)) + (underMoov ? meta : Box("udta", meta));
  return Box("ftyp", brand + Z(4) + "isom") + Box("moov", moov);
}
std::string FullBoxV(int version, const std::string& body) { return Box("mvhd", std::string(1, char(version)) + Z(3) + body); }
std::string Mvhd(int version, uint32_t scale, uint64_t duration) {
  if (version == 1) return FullBoxV(1, Z(16) + BE(scale, 4) + BE(duration, 8) + Z(80));
  return FullBoxV(0, Z(8) + BE(scale, 4) + BE(duration, 4) + Z(80));
}

TEST(Mp4, AudioTitles) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string title;
  };
  std::string utf16 = Box("ftyp", "M4A " + Z(4)) +
                      Box("moov", Box("udta", FullBox("meta", Box("ilst", Box("\xA9nam", Box("data", BE(2, 4) + Z(4) + Utf16Be(u"曲")))))));
  const Case cases[] = {
      {"M4A brand", M4a("M4A ", "林檎"), "林檎"},
      {"mp42 brand", M4a("mp42", "Other"), "Other"},
      {"isom brand", M4a("isom", "Iso"), "Iso"},
      {"no ftyp at all", M4a("M4A ", "Bare").substr(20), "Bare"},
      {"QuickTime meta without version and flags", M4a("M4A ", "Plain meta", true), "Plain meta"},
      {"meta directly under moov", M4a("qt  ", "Under moov", true, true), "Under moov"},
      {"UTF-16 data", utf16, "曲"},
      {"text stops at a zero byte", M4a("M4A ", std::string("ab\0c", 4)), "ab"},
      {"after a free box", Box("free", Z(4)) + M4a("M4A ", "After free"), "After free"},
      // A 64-bit size before moov is followed.
      {"after a 64-bit mdat", BE(1, 4) + "mdat" + BE(32, 8) + Z(16) + M4a("M4A ", "Wide").substr(20), "Wide"},
      // A box claiming more than the file holds ends the walk.
      {"a box past the file", BE(0x7FFFFFFF, 4) + "free" + M4a("M4A ", "x"), ""},
      {"no ilst", Box("moov", Box("udta", FullBox("meta", Box("hdlr", Z(25))))), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(meta::Mp4AudioTitle, c.bytes), c.title) << c.name;
}

TEST(Mp4, Lengths) {
  auto mp4 = [](const std::string& mvhd) { return Box("ftyp", "isom" + Z(4)) + Box("mdat", Z(50)) + Box("moov", Box("trak", Z(10)) + mvhd); };
  EXPECT_EQ(Read(meta::Mp4Length, mp4(Mvhd(0, 600, 90000))), 150);
  EXPECT_EQ(Read(meta::Mp4Length, mp4(Mvhd(0, 0, 90000))), 0);
  EXPECT_EQ(Read(meta::Mp4Length, mp4(Mvhd(0, 1000, 1001))), 2);
  EXPECT_EQ(Read(meta::Mp4Length, mp4(Mvhd(1, 48000, 48000ULL * 7200))), 7200);
  // moov in any case, and a 64-bit mdat before it.
  std::string wide = BE(1, 4) + "mdat" + BE(40, 8) + Z(24);
  EXPECT_EQ(Read(meta::Mp4Length, wide + Box("MOOV", Mvhd(0, 10, 100))), 10);
  EXPECT_EQ(Read(meta::Mp4Length, BE(0, 4) + "free" + Box("moov", Mvhd(0, 10, 100))), 0);  // size 0 ends
  EXPECT_EQ(Read(meta::Mp4Length, mp4(Mvhd(0, 600, 90000)).substr(0, 90)), 0);
}

std::string Double(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  return BE(bits, 8);
}
std::string Float(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  return BE(bits, 4);
}
std::string Ebml(const std::string& info) {
  return Element("\x1A\x45\xDF\xA3", Z(20)) + "\x18\x53\x80\x67" + "\x01\xFF\xFF\xFF\xFF\xFF\xFF\xFF" +
         Element("\x11\x4D\x9B\x74", Z(30)) + Element("\xEC", Z(5)) + Element("\x15\x49\xA9\x66", info) +
         Element("\x16\x54\xAE\x6B", Z(10));
}

TEST(Matroska, Lengths) {
  const std::string scale = Element("\x2A\xD7\xB1", BE(1000000, 3));
  struct Case {
    const char* name;
    std::string bytes;
    int seconds;
  };
  const Case cases[] = {
      {"scale then duration", Ebml(scale + Element("\x44\x89", Double(61234.0))), 62},
      {"duration then scale", Ebml(Element("\x44\x89", Double(61234.0)) + scale), 62},
      {"float duration", Ebml(scale + Element("\x44\x89", Float(5000.0f))), 5},
      {"whole seconds stay whole", Ebml(scale + Element("\x44\x89", Double(61000.0))), 61},
      {"apps and dates are passed over",
       Ebml(scale + Element("\x4D\x80", "lavf") + Element("\x57\x41", "lavf") + Element("\x44\x61", Z(8)) +
            Element("\x7B\xA9", "t") + Element("\x44\x89", Double(3000.0))), 3},
      {"a scale of ten microseconds", Ebml(Element("\x2A\xD7\xB1", BE(10000, 2)) + Element("\x44\x89", Double(250000.0))), 3},
      {"no scale", Ebml(Element("\x44\x89", Double(61234.0))), 0},
      {"CRC-32 and SegmentUID are passed over",
       Ebml(Element("\xBF", Z(4)) + scale + Element("\x73\xA4", Z(16)) + Element("\x44\x89", Double(9000.0))), 9},
      {"unknown element before the duration", Ebml(scale + Element("\x63\xC0", Z(16)) + Element("\x44\x89", Double(9000.0))), 0},
      {"a duration of another size", Ebml(scale + Element("\x44\x89", Z(2))), 0},
      {"not EBML", "RIFF" + Ebml(scale + Element("\x44\x89", Double(1000.0))).substr(4), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(meta::MatroskaLength, c.bytes), c.seconds) << c.name;
}

std::string Avi(uint32_t avihSize, uint32_t scale, uint32_t rate, uint32_t length) {
  std::string s(200, '\0');
  s.replace(0, 4, "RIFF");
  s.replace(8, 4, "AVI ");
  s.replace(12, 4, "LIST");
  s.replace(20, 4, "hdrl");
  s.replace(24, 4, "avih");
  s.replace(28, 4, LE(avihSize, 4));
  s.replace(88, 4, "LIST");
  s.replace(96, 4, "strl");
  s.replace(100, 4, "strh");
  s.replace(128, 4, LE(scale, 4));
  s.replace(132, 4, LE(rate, 4));
  s.replace(140, 4, LE(length, 4));
  return s;
}

TEST(Riff, AviLengths) {
  EXPECT_EQ(Read(meta::AviLength, Avi(56, 1, 25, 250)), 10);
  EXPECT_EQ(Read(meta::AviLength, Avi(56, 1001, 30000, 300)), 11);
  EXPECT_EQ(Read(meta::AviLength, Avi(56, 0, 25, 250)), 0);
  EXPECT_EQ(Read(meta::AviLength, Avi(56, 1, 25, 250).substr(0, 143)), 0);
  std::string moved = Avi(56, 1, 25, 250);
  moved.replace(88, 4, "JUNK");  // another layout: left to the media device
  EXPECT_EQ(Read(meta::AviLength, moved), 0);
}

std::string Wav(const std::string& between, uint32_t bytesPerSecond, uint32_t dataSize, size_t present) {
  std::string fmt = LE(1, 2) + LE(2, 2) + LE(44100, 4) + LE(bytesPerSecond, 4) + LE(4, 2) + LE(16, 2);
  return "RIFF" + LE(0, 4) + "WAVE" + "fmt " + LE(fmt.size(), 4) + fmt + between + "data" + LE(dataSize, 4) + Z(present);
}

TEST(Riff, WavLengths) {
  EXPECT_EQ(Read(meta::WavLength, Wav("", 176400, 176400, 176400)), 1);
  EXPECT_EQ(Read(meta::WavLength, Wav("", 176400, 176400 * 2 + 100, 176400 * 2 + 100)), 2);
  // A LIST chunk (odd size, padded) before the data.
  EXPECT_EQ(Read(meta::WavLength, Wav("LIST" + LE(5, 4) + "INFOa" + Z(1), 1000, 3000, 3000)), 3);
  // A streaming writer's unknown size: what is there counts.
  EXPECT_EQ(Read(meta::WavLength, Wav("", 1000, 0xFFFFFFFF, 4000)), 4);
  EXPECT_EQ(Read(meta::WavLength, Wav("", 0, 3000, 3000)), 0);
  EXPECT_EQ(Read(meta::WavLength, Wav("", 1000, 3000, 3000).substr(0, 30)), 0);
}

TEST(Probe, AnswerInMilliseconds) {
  EXPECT_EQ(meta::ProbeAnswerSeconds("1500"), 2);
  EXPECT_EQ(meta::ProbeAnswerSeconds("1000"), 1);
  EXPECT_EQ(meta::ProbeAnswerSeconds("0"), 0);
  EXPECT_EQ(meta::ProbeAnswerSeconds(""), 0);
  EXPECT_EQ(meta::ProbeAnswerSeconds("abc"), 0);
  EXPECT_EQ(meta::ProbeAnswerSeconds("2001 ms"), 3);
  EXPECT_EQ(meta::ProbeAnswerSeconds("99999999999999999999"), INT32_MAX);
}

}  // namespace
}  // namespace qel::test
