// Real files made by ffmpeg (scripts/make-metadata-media): the titles and
// lengths its muxers wrote.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "core/metadata/metadata.h"
#include "core/metadata/readers.h"
#include "fakes/fakes.h"
#include "layouts.h"

namespace qel::test {
namespace {

using namespace layouts;

std::string Fixture(const char* name) { return std::string(QEL_SOURCE_DIR) + "/tests/data/metadata/" + name; }
std::string FixtureBytes(const char* name) {
  std::ifstream in(Fixture(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Fixtures, Titles) {
  struct Case {
    const char* file;
    const char* title;
  };
  const Case cases[] = {
      {"tagged.mp3", "Morning Tone"}, {"v24.mp3", "朝の音"},       {"v1only.mp3", "Old Tag"},
      {"tagged.flac", "Lossless Tone"}, {"tagged.ogg", "夜の音"},   {"tagged.m4a", "Apple Tone"},
      {"tagged.wma", "Windows Tone"},  {"named.mid", "Little Tune"}, {"isom.m4a", "Iso Tone"},  {"clip.mp4", ""},
      {"tone.wav", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadTitle(Fixture(c.file)), c.title) << c.file;
}

TEST(Fixtures, HeaderLengths) {
  // No media device: every length here comes from the files' own headers,
  // as the ceiling of what ffprobe reports (the AVI's video runs 5.2 s, the
  // MP3s hold their encoder's padding frames, the WMV's play duration less
  // its preroll is 5.064 s).
  AppState bare;
  struct Case {
    const char* file;
    int seconds;
  };
  const Case cases[] = {
      {"tagged.flac", 4}, {"clip.mp4", 5}, {"clip.mkv", 5}, {"clip.avi", 6},
      {"clip.wmv", 6},    {"tone.wav", 3}, {"tagged.mp3", 4}, {"v24.mp3", 3}, {"v1only.mp3", 3},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadLength(bare, Fixture(c.file)), c.seconds) << c.file;
}

// The real files with what other writers put around them.
TEST(Fixtures, WithOtherWritersTags) {
  TempDir dir;
  AppState bare;
  // A ripper's ID3v2 tag in front of a FLAC stream.
  std::string flac = dir.Write("id3.flac", Tag(3, Frame(3, "TPE1", std::string("\0Artist", 7)), 0, 500) + FixtureBytes("tagged.flac"));
  EXPECT_EQ(ReadTitle(flac), "Lossless Tone");
  EXPECT_EQ(ReadLength(bare, flac), 4);
  // A tagger that added an ID3v2 tag for the artist alone.
  std::string v1 = dir.Write("both.mp3", Tag(3, Frame(3, "TPE1", std::string("\0Artist", 7))) + FixtureBytes("v1only.mp3"));
  EXPECT_EQ(ReadTitle(v1), "Old Tag");
  // The same 2.4 tag with the footer a tag may carry.
  std::string v24 = FixtureBytes("v24.mp3");
  size_t tagEnd = 10 + ReadSyncsafe(v24, 6);
  v24[5] = char(v24[5] | 0x10);
  v24.insert(tagEnd, "3DI" + v24.substr(3, 7));
  std::string footer = dir.Write("footer.mp3", v24);
  EXPECT_EQ(ReadTitle(footer), "朝の音");
  EXPECT_EQ(ReadLength(bare, footer), 3);
}

TEST(Fixtures, LyricsAndCover) {
  FakePlayer p;
  MediaInfo info = ReadLyricsAndPicture(p.state, Fixture("tagged.mp3"));
  EXPECT_EQ(info.lyrics, "first line\nsecond line");
  ASSERT_TRUE(info.picture);
  EXPECT_EQ(info.picture->width, 16);
  EXPECT_EQ(info.picture->height, 12);
  info = ReadLyricsAndPicture(p.state, Fixture("v24.mp3"));
  EXPECT_EQ(info.lyrics, "");
  EXPECT_FALSE(info.picture);
}

}  // namespace
}  // namespace qel::test
