#include "core/pane/text_pane.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "../list/temp_tree.h"
#include "../metadata/layouts.h"
#include "core/fs/companion.h"
#include "core/text/encoding.h"
#include "fakes/fakes.h"

namespace qel::test {
namespace {

using namespace layouts;

// The start of a PNG file: enough for the test decoder to learn its size,
// which tells the tests which picture the pane took.
std::string Png(int w, int h) {
  return std::string("\x89PNG\r\n\x1A\n", 8) + BE(13, 4) + "IHDR" + BE(w, 4) + BE(h, 4) + std::string("\x08\x06\0\0\0", 5);
}

// An MP3 whose ID3v2.3 tag holds lyrics and a w x h front cover.
std::string TaggedMp3(const std::string& lyrics, int w, int h) {
  std::string frames;
  if (!lyrics.empty()) frames += Frame(3, "USLT", std::string("\0jpn\0", 5) + lyrics);
  if (w > 0) frames += Frame(3, "APIC", std::string("\0image/png\0\3\0", 13) + Png(w, h));
  return Tag(3, frames) + std::string("\xFF\xFB\x90\x00", 4) + std::string(413, '\0');
}

struct Pane : ::testing::Test {
  FakePlayer p;
  TempTree tree;
  int PictureWidth() const { return p.state.panePicture ? p.state.panePicture->width : 0; }
  // The first colour byte of the pane's drawn copy: 0x80 as decoded, 0xE6
  // once faded.
  int BackdropByte() const { return p.state.paneBackdrop ? p.state.paneBackdrop->pixels.at(0) : -1; }
  static constexpr int kFaded = 0x80 + 101;  // 128 + trunc(127 * 0.8)
};

TEST_F(Pane, TextFileBeatsLyricsAndSiblingPictureBeatsCover) {
  const std::string song = tree.File("song.mp3", TaggedMp3("embedded words", 3, 3));
  tree.File("song.txt", "companion text\nsecond line");
  tree.File("song.png", Png(7, 5));
  ShowInPane(p.state, song, true);
  EXPECT_EQ(p.window.paneText, "companion text\r\nsecond line");
  EXPECT_EQ(PictureWidth(), 7);
  EXPECT_EQ(BackdropByte(), kFaded);
  EXPECT_FALSE(p.window.paneCaret);
  // The cover was never decoded: the sibling picture replaces it anyway.
  EXPECT_EQ(p.images.calls, 1);
}

TEST_F(Pane, LyricsOverTheFadedCoverWithoutAText) {
  const std::string song = tree.File("song.mp3", TaggedMp3("one\rtwo\r", 3, 2));
  ShowInPane(p.state, song, true);
  EXPECT_EQ(p.window.paneText, "one\r\ntwo\r\n");
  EXPECT_TRUE(p.window.paneCaret);
  EXPECT_EQ(PictureWidth(), 3);
  EXPECT_EQ(BackdropByte(), kFaded);
  // The drawn copy is faded; the picture behind the list is not.
  EXPECT_EQ(p.state.panePicture->pixels.at(0), 0x80);
}

TEST_F(Pane, EmbeddedTimedLyricsAreShownAndFollowedAsALrcIs) {
  const std::string z(1, '\0');
  std::string sylt = std::string("\3jpn\2\1", 6) + z;
  for (const auto& [text, ms] : std::vector<std::pair<std::string, uint32_t>>{
           {"sung second", 20000}, {"sung first", 10000}})
    sylt += text + z + BE(ms, 4);
  const std::string song = tree.File("song.mp3", Tag(3, Frame(3, "USLT", std::string("\0jpn\0plain", 10)) +
                                                               Frame(3, "SYLT", sylt)) +
                                                        std::string("\xFF\xFB\x90\x00", 4) + std::string(413, '\0'));
  ShowInPane(p.state, song, true);
  EXPECT_EQ(p.window.paneText, "sung first\r\nsung second");
  EXPECT_EQ(p.state.lyricsMarks, (std::vector<LyricsMark>{{10000, 0}, {20000, 1}}));
  // A ".lrc" beside the file is the user's own: it wins.
  tree.File("song.lrc", "[00:05.00]from the file\n");
  ShowInPane(p.state, song, true);
  EXPECT_EQ(p.window.paneText, "from the file");
  EXPECT_EQ(p.state.lyricsMarks, (std::vector<LyricsMark>{{5000, 0}}));
}

TEST_F(Pane, ShowTextOffShowsNoWordsAndAnUnfadedPicture) {
  const std::string song = tree.File("song.mp3", TaggedMp3("embedded words", 3, 2));
  tree.File("song.txt", "companion text");
  ShowInPane(p.state, song, false);
  EXPECT_EQ(p.window.paneText, "");
  EXPECT_FALSE(p.window.paneCaret);
  EXPECT_EQ(BackdropByte(), 0x80);
  tree.File("other.mp3", TaggedMp3("embedded words", 0, 0));
  ShowInPane(p.state, tree.Path("other.mp3"), false);
  EXPECT_EQ(p.window.paneText, "");
  EXPECT_FALSE(p.state.panePicture);
  EXPECT_FALSE(p.state.paneBackdrop);
}

TEST_F(Pane, PictureCandidatesInTheirOrder) {
  const std::string song = tree.File("a.mp3", "not really an mp3");
  tree.File("a.jpeg", Png(9, 9));
  ShowInPane(p.state, song, true);
  EXPECT_EQ(PictureWidth(), 9) << ".jpeg when .jpg is missing";
  tree.File("a.jpg", Png(8, 8));
  ShowInPane(p.state, song, true);
  EXPECT_EQ(PictureWidth(), 8) << ".jpg before .jpeg";
  tree.File("a.png", Png(6, 6));
  ShowInPane(p.state, song, true);
  EXPECT_EQ(PictureWidth(), 6) << ".png first";
  // A sibling that does not decode leaves no picture, not the cover.
  const std::string tagged = tree.File("b.mp3", TaggedMp3("", 3, 3));
  tree.File("b.png", "garbage");
  ShowInPane(p.state, tagged, true);
  EXPECT_FALSE(p.state.panePicture);
  EXPECT_FALSE(p.state.paneBackdrop);
  // Without an extension the candidates are appended.
  tree.File("noext", "x");
  tree.File("noext.png", Png(4, 4));
  ShowInPane(p.state, tree.Path("noext"), true);
  EXPECT_EQ(PictureWidth(), 4);
}

TEST_F(Pane, TextCandidatesInTheirOrder) {
  const std::string song = tree.File("s.ogg", "x");
  tree.File("s.lrc", "[00:01.00]timed");
  ShowInPane(p.state, song, true);
  EXPECT_EQ(p.window.paneText, "timed");
  tree.File("s.doc", "doc text");
  ShowInPane(p.state, song, true);
  EXPECT_EQ(p.window.paneText, "doc text");
  tree.File("s.txt", "txt text");
  ShowInPane(p.state, song, true);
  EXPECT_EQ(p.window.paneText, "txt text");
}

TEST_F(Pane, NamesDifferingInCaseAreAFallback) {
  const std::string song = tree.File("Song.mp3", TaggedMp3("embedded", 0, 0));
  tree.File("SONG.TXT", "upper case text");
  tree.File("song.Jpg", Png(5, 5));
  ShowInPane(p.state, song, true);
  EXPECT_EQ(p.window.paneText, "upper case text");
  EXPECT_EQ(PictureWidth(), 5);
  // An exact name of a later candidate still beats a case-folded earlier one.
  tree.File("Song.doc", "exact doc");
  tree.File("Song.jpeg", Png(2, 2));
  ShowInPane(p.state, song, true);
  EXPECT_EQ(p.window.paneText, "exact doc");
  EXPECT_EQ(PictureWidth(), 2);
}

// A settled folder's names are read once for several lookups; a name added
// later is still found, however soon after.
TEST_F(Pane, ACompanionAddedToAListedFolderIsFound) {
  const std::string song = tree.File("Song.mp3", TaggedMp3("", 0, 0));
  const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, tree.root.c_str(), old, 0), 0);
  EXPECT_EQ(CompanionText(song), std::nullopt);
  EXPECT_EQ(CompanionText(song), std::nullopt);
  tree.File("SONG.TXT", "added");
  EXPECT_EQ(CompanionText(song), std::optional(tree.root + "/SONG.TXT"));
}

TEST_F(Pane, WhatIsNoCompanion) {
  const std::string song = tree.File("m.mp3", TaggedMp3("lyrics win", 0, 0));
  // A folder and a pipe of a companion's name are skipped, never read.
  tree.Dir("m.txt");
  ASSERT_EQ(mkfifo(tree.Path("m.doc").c_str(), 0600), 0);
  tree.Dir("m.png");
  ShowInPane(p.state, song, true);
  EXPECT_EQ(p.window.paneText, "lyrics win");
  EXPECT_FALSE(p.state.panePicture);
  // A text with a zero byte and no mark is not shown, and hides the lyrics.
  tree.File("m.lrc", std::string("W\0o\0r\0d\0", 8));
  ShowInPane(p.state, song, true);
  EXPECT_EQ(p.window.paneText, "");
  EXPECT_FALSE(p.window.paneCaret);
  // An empty text file shows an empty pane, faded picture and all.
  std::filesystem::remove(tree.Path("m.lrc"));
  tree.File("m.jpg", Png(3, 3));
  tree.File("M.TXT", "");
  ShowInPane(p.state, song, true);
  EXPECT_EQ(p.window.paneText, "");
  EXPECT_EQ(BackdropByte(), kFaded);
}

TEST_F(Pane, ShiftJisAndUtf16TextsReadAsTheirEncodings) {
  SetLegacyCodePage("");
  const std::string song = tree.File("j.mp3", "x");
  tree.File("j.txt", Utf8ToLegacy("夜の歌\r\n星がひとつ"));
  ShowInPane(p.state, song, true);
  EXPECT_EQ(p.window.paneText, "夜の歌\r\n星がひとつ");
  tree.File("j.txt", "\xFE\xFF" + Utf8ToUtf16("星がひとつ\nまたひとつ", true));
  ShowInPane(p.state, song, true);
  EXPECT_EQ(p.window.paneText, "星がひとつ\r\nまたひとつ");
}

TEST(ShowLyrics, LoneCarriageReturnsBecomeLineBreaks) {
  EXPECT_EQ(LyricsText("one\rtwo\r"), "one\r\ntwo\r\n");
  EXPECT_EQ(LyricsText("one\ntwo"), "one\ntwo");
  // Text that already holds a CR LF is taken as it is, lone CRs and all.
  EXPECT_EQ(LyricsText("a\r\nb\rc"), "a\r\nb\rc");
  EXPECT_EQ(LyricsText(""), "");
  FakePlayer p;
  ShowLyrics(p.state, "x\ry");
  EXPECT_EQ(p.window.paneText, "x\r\ny");
}

TEST_F(Pane, TimedLyricsFollowThePosition) {
  const std::string song = tree.File("t.mp3", "x");
  tree.File("t.lrc", "[ar:Qel]\n[00:01.00]one\n[00:02.50]two\n[00:04.00]three\n");
  p.state.entries = {{song, "", 0}};
  p.state.lastIndex = 0;
  ShowPaneEntry(p.state, 0);
  EXPECT_EQ(p.window.paneText, "one\r\ntwo\r\nthree");
  const int relayouts = p.window.relayouts;
  EXPECT_GE(relayouts, 1);
  for (int tenths : {0, 5, 10, 24, 25, 39, 40, 41, 12}) {
    p.window.position = tenths;
    FollowSungLine(p.state);
  }
  // Only changes reach the window.
  EXPECT_EQ(p.window.highlights, (std::vector<int>{0, 1, 2, 0}));
  // Another entry without timed lyrics stops the following.
  const std::string plain = tree.File("u.mp3", "x");
  tree.File("u.txt", "plain");
  p.state.entries.push_back({plain, "", 1});
  ShowPaneEntry(p.state, 1);
  EXPECT_EQ(p.window.highlightedLine, -1);
  p.window.position = 30;
  FollowSungLine(p.state);
  EXPECT_EQ(p.window.highlights.size(), 4u);
}

}  // namespace
}  // namespace qel::test
