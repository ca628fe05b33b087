// Real files made by ffmpeg (scripts/make-metadata-media): the titles and
// lengths its muxers wrote.
#include <gtest/gtest.h>

#include "core/metadata/metadata.h"
#include "core/metadata/readers.h"
#include "fakes/fakes.h"

namespace qel::test {
namespace {

std::string Fixture(const char* name) { return std::string(QEL_SOURCE_DIR) + "/tests/data/metadata/" + name; }

TEST(Fixtures, Titles) {
  struct Case {
    const char* file;
    const char* title;
  };
  const Case cases[] = {
      {"tagged.mp3", "Morning Tone"}, {"v24.mp3", "朝の音"},       {"v1only.mp3", "Old Tag"},
      {"tagged.flac", "Lossless Tone"}, {"tagged.ogg", "夜の音"},   {"tagged.m4a", "Apple Tone"},
      {"tagged.wma", "Windows Tone"},  {"named.mid", "Little Tune"}, {"clip.mp4", ""},
      {"tone.wav", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadTitle(Fixture(c.file)), c.title) << c.file;
}

TEST(Fixtures, HeaderLengths) {
  // No media device: every length here comes from the files' own headers,
  // as the ceiling of what ffprobe reports (the AVI's video runs 5.2 s, the
  // MP3s hold their encoder's padding frames), the ASF one truncated.
  AppState bare;
  struct Case {
    const char* file;
    int seconds;
  };
  const Case cases[] = {
      {"tagged.flac", 4}, {"clip.mp4", 5}, {"clip.mkv", 5}, {"clip.avi", 6},
      {"clip.wmv", 5},    {"tone.wav", 3}, {"tagged.mp3", 4}, {"v24.mp3", 3}, {"v1only.mp3", 3},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadLength(bare, Fixture(c.file)), c.seconds) << c.file;
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
