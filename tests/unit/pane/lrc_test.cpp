#include "core/pane/lrc.h"

#include <gtest/gtest.h>

namespace qel {
namespace {

TEST(ParseLrc, ShowsTheWordsWithoutTags) {
  const TimedLyrics lyrics = ParseLrc(
      "[ti:夜の歌]\r\n"
      "[ar:Qel]\r\n"
      "[00:01.00]夜の歌\r\n"
      "[00:03.50]星が<00:04.00>ひとつ\r\n"
      "\r\n"
      "[00:06.25][00:12.000]またひとつ  \r\n"
      "[Chorus] words\r\n");
  // The line of two times is shown at each; the untimed line stays after
  // the first.
  EXPECT_EQ(lyrics.text, "夜の歌\r\n星がひとつ\r\n\r\nまたひとつ\r\n[Chorus] words\r\nまたひとつ");
  const std::vector<LyricsMark> expected = {{1000, 0}, {3500, 1}, {6250, 3}, {12000, 5}};
  EXPECT_EQ(lyrics.marks, expected);
}

TEST(ParseLrc, ACompressedChorusIsShownWhereverItIsSung) {
  const TimedLyrics lyrics = ParseLrc(
      "[00:10.00]verse one\n"
      "[00:20.00][01:20.00]chorus\n"
      "[00:30.00]verse two\n"
      "[01:00.00]verse three\n");
  EXPECT_EQ(lyrics.text, "verse one\r\nchorus\r\nverse two\r\nverse three\r\nchorus");
  EXPECT_EQ(lyrics.marks, (std::vector<LyricsMark>{{10000, 0}, {20000, 1}, {30000, 2}, {60000, 3}, {80000, 4}}));
  // The highlight moves down the pane as the song goes: never back.
  int last = -1;
  for (long long ms = 0; ms < 100000; ms += 500) {
    const int line = SungLine(lyrics.marks, ms);
    ASSERT_GE(line, last) << ms;
    last = line;
  }
}

TEST(ParseLrc, TolerantTagsAndEveryLineEnd) {
  struct Case {
    const char* file;
    const char* text;
  } cases[] = {
      {"[ti : Title]\n[ar: Someone ]\n[00:01.00]a\n", "a"},
      {"[#:a comment]\n[00:01.00]a\n", "a"},
      {"[la:ja][by:x][re:tool][ve:1.0]\n[00:01.00]a\n", "a"},
      {"[ 00:01.00 ]a\n", "a"},
      {"[ti:x]\r[00:01.00]a\r[00:02.00]b\r", "a\r\nb"},
      {"[ti:x]\r\n[00:01.00]a\r\n[00:02.00]b", "a\r\nb"},
      {"[00:01.00]a\r[00:02.00]b\n[00:03.00]c\r\n", "a\r\nb\r\nc"},
      {"[Chorus]\n[00:01.00]a\n", "[Chorus]\r\na"},
  };
  for (const Case& c : cases) {
    const TimedLyrics lyrics = ParseLrc(c.file);
    EXPECT_EQ(lyrics.text, c.text) << c.file;
    ASSERT_FALSE(lyrics.marks.empty()) << c.file;
    EXPECT_EQ(lyrics.marks.front().ms, 1000) << c.file;
  }
  const TimedLyrics offset = ParseLrc("[offset : +500]\r[00:01.00]a\r");
  EXPECT_EQ(offset.marks, (std::vector<LyricsMark>{{500, 0}}));
}

TEST(ParseLrc, ALineOfCountlessTimesIsShownWithinABound) {
  std::string file;
  for (int i = 0; i < 100000; ++i) file += "[00:01]";
  file += std::string(20000, 'x') + "\n";
  const TimedLyrics lyrics = ParseLrc(file);
  EXPECT_LE(lyrics.text.size(), 8u << 20);
  EXPECT_GT(lyrics.marks.size(), 100u);
}

TEST(ParseLrc, TimesInEveryWrittenForm) {
  struct Case {
    const char* line;
    long long ms;
  } cases[] = {{"[01:02]x", 62000},    {"[01:02.3]x", 62300},   {"[01:02.34]x", 62340},
               {"[01:02.345]x", 62345}, {"[01:02:34]x", 62340},  {"[100:00.00]x", 6000000}};
  for (const Case& c : cases) {
    const TimedLyrics lyrics = ParseLrc(c.line);
    ASSERT_EQ(lyrics.marks.size(), 1u) << c.line;
    EXPECT_EQ(lyrics.marks[0].ms, c.ms) << c.line;
    EXPECT_EQ(lyrics.text, "x") << c.line;
  }
  // Not times: shown as they stand.
  for (const char* line : {"[1:2.]x", "[aa:bb]x", "[01:02.34x]y", "[:02]x"}) {
    const TimedLyrics lyrics = ParseLrc(line);
    EXPECT_TRUE(lyrics.marks.empty()) << line;
  }
}

TEST(ParseLrc, OffsetMovesEveryLineEarlier) {
  const TimedLyrics later = ParseLrc("[offset:-500]\n[00:01.00]a\n[00:00.20]b\n");
  EXPECT_EQ(later.text, "b\r\na");
  EXPECT_EQ(later.marks, (std::vector<LyricsMark>{{700, 0}, {1500, 1}}));
  const TimedLyrics sooner = ParseLrc("[00:01.00]a\n[offset:+1500]\n");
  EXPECT_EQ(sooner.marks, (std::vector<LyricsMark>{{0, 0}}));
}

TEST(SungLine, TheLastMarkAtOrBeforeThePosition) {
  const std::vector<LyricsMark> marks = {{1000, 0}, {3500, 1}, {6250, 3}, {12000, 3}, {15000, 2}};
  struct Case {
    long long ms;
    int line;
  } cases[] = {{0, -1}, {999, -1}, {1000, 0}, {3499, 0}, {3500, 1}, {7000, 3}, {12500, 3}, {15000, 2}, {99999, 2}};
  for (const Case& c : cases) EXPECT_EQ(SungLine(marks, c.ms), c.line) << c.ms;
  EXPECT_EQ(SungLine({}, 5000), -1);
}

}  // namespace
}  // namespace qel
