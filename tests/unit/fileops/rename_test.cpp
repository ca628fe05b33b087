#include "core/fileops/rename.h"

#include "fileops_fixture.h"

namespace qel::test {
namespace {

using Names = std::vector<std::string>;

TEST(NameCheck, RefusesWhatCannotBeANameHereAndWhatIsTaken) {
  TempDir dir;
  WriteAll(dir / "song.mp3", "");
  fs::create_symlink(dir / "gone", dir / "dangling");
  PosixFileSystem files(dir / "Trash");
  struct Case {
    std::string name;
    NameCheck verdict;
  } cases[] = {
      {"tune.mp3", NameCheck::Usable},        {"a:b?.mp3", NameCheck::Usable},
      {"曲 (2).mp3", NameCheck::Usable},      {"a;b.mp3", NameCheck::Unusable},
      {"a\\b", NameCheck::Unusable},          {"a/b", NameCheck::Unusable},
      {"*", NameCheck::Unusable},             {"<a>", NameCheck::Unusable},
      {"a|b", NameCheck::Unusable},           {"say \"hi\"", NameCheck::Unusable},
      {std::string(256, 'a'), NameCheck::Unusable}, {std::string(255, 'a'), NameCheck::Usable},
      {"song.mp3", NameCheck::Taken},         {"dangling", NameCheck::Taken},
      {"", NameCheck::Taken},                 {".", NameCheck::Taken},
      {"..", NameCheck::Taken},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckNewName(files, dir.path, c.name), c.verdict) << c.name;
}

TEST(Rename, SelectsTheBaseNameAndTellsWhyANameIsRefused) {
  FilePlayer p({"song.mp3", "x.flac"});
  p.Select({0});
  // OK on the unchanged name, then a refused one, then a good one.
  p.window.nameTyping = {{"song.mp3", "a;b.mp3", "tune.mp3"}};
  p.Command(40025);
  ASSERT_EQ(p.window.nameDialogs.size(), 1u);
  EXPECT_EQ(p.window.nameDialogs[0], std::make_pair(std::string("song.mp3"), std::string("song")));
  EXPECT_EQ(p.Texts(), (Names{"既に存在するファイル名です。", "使えない文字が含まれています。"}));
  EXPECT_EQ(p.window.messages[0].icon, MessageIcon::Warning);
  EXPECT_EQ(Listing(p.music), (Names{"tune.mp3", "x.flac"}));
  EXPECT_EQ(p.state.entries[0].path, p.music + "/tune.mp3");
  EXPECT_EQ(p.window.rows, (Names{"tune.mp3", "x.flac"}));

  p.state.settings.NoExt = true;
  p.window.nameTyping = {{"melody.mp3"}};
  p.Command(40025);
  EXPECT_EQ(p.window.rows, (Names{"melody", "x.flac"}));
  EXPECT_EQ(p.window.selected, std::set<int>{0});
}

TEST(Rename, CancellingTheSecondOfThreeKeepsTheRestAsTheyWere) {
  FilePlayer p({"a.mp3", "b.mp3", "c.mp3"});
  p.Select({0, 1, 2});
  p.window.nameTyping = {{"one.mp3"}, {}};  // the second dialog is cancelled
  p.Command(40025);
  EXPECT_EQ(p.window.nameDialogs.size(), 2u);
  EXPECT_EQ(Listing(p.music), (Names{"b.mp3", "c.mp3", "one.mp3"}));
  EXPECT_EQ(p.Names(), (Names{"one.mp3", "b.mp3", "c.mp3"}));
}

TEST(Rename, ThePlayingFilePlaysOnFromWhereItWas) {
  FilePlayer p({"a.mp3", "song.mp3"});
  p.Play(1);
  p.model.positionMs = 42300;
  p.Select({1});
  p.window.nameTyping = {{"tune.mp3"}};
  p.device.Clear();
  p.Command(40025);
  EXPECT_EQ(p.model.openPath, p.music + "/tune.mp3");
  EXPECT_EQ(p.model.mode, "playing");
  EXPECT_EQ(p.model.positionMs, 42300);
  // Opened without starting, sought, then started once.
  EXPECT_EQ(p.device.Count("play qel  notify"), 1);
  EXPECT_TRUE(p.device.Sent("seek qel to 42300"));
  EXPECT_TRUE(p.window.timerRunning);
}

// A file that ends while its dialog is open is not started again at its
// end: its end has been reported, and the player goes on from there.
TEST(Rename, AFileThatEndedWhileTheDialogWasOpenIsNotStartedAgain) {
  FilePlayer p({"a.mp3", "song.mp3"});
  p.Play(1);
  p.Select({1});
  p.window.nameTyping = {{"tune.mp3"}};
  p.window.whileDialogOpen = [&] {
    p.model.mode = "stopped";
    p.model.positionMs = 95000;
  };
  p.device.Clear();
  p.Command(40025);
  EXPECT_EQ(Listing(p.music), (Names{"a.mp3", "tune.mp3"}));
  EXPECT_FALSE(p.device.Sent("seek qel to 95000"));
  EXPECT_EQ(p.device.Count("play qel  notify"), 0);
}

TEST(Clipboard, CopyAndCutHandOverTheFilesInRowOrder) {
  FilePlayer p({"a.mp3", "b.mp3", "c.mp3"});
  p.Command(40023);  // nothing selected: an empty list
  p.Play(1);
  p.Select({2, 1});
  p.Command(40023);
  p.Command(40024);
  ASSERT_EQ(p.fileManager.clips.size(), 3u);
  EXPECT_TRUE(p.fileManager.clips[0].paths.empty());
  EXPECT_EQ(p.fileManager.clips[1].paths, (Names{p.music + "/b.mp3", p.music + "/c.mp3"}));
  EXPECT_FALSE(p.fileManager.clips[1].cut);
  EXPECT_TRUE(p.fileManager.clips[2].cut);
  EXPECT_EQ(p.Names(), (Names{"a.mp3"}));
  EXPECT_EQ(p.model.mode, "");  // the cut took the playing entry: stopped
  EXPECT_EQ(Listing(p.music).size(), 3u);  // files move only when pasted

  p.Select({0});
  p.Command(40024);
  EXPECT_EQ(p.Texts(), (Names{"フォルダにファイルが無くなりました。"}));

  FilePlayer q({"a.mp3", "b.mp3"});
  q.state.contextRow = 1;
  q.Command(1000);
  EXPECT_EQ(q.fileManager.properties, (Names{q.music + "/b.mp3"}));
}

}  // namespace
}  // namespace qel::test
