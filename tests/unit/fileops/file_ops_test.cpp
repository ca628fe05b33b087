#include "core/fileops/file_ops.h"

#include "fileops_fixture.h"

namespace qel::test {
namespace {

using Names = std::vector<std::string>;

TEST(Copy, TheReplaceQuestionsThreeAnswers) {
  struct Case {
    MessageResult first;  // the answer for a.mp3; b.mp3 gets Yes
    std::string outA, outB;
    bool copiedC;
    size_t questions;
    Names trashed;
  } cases[] = {
      {MessageResult::Yes, "a.mp3", "b.mp3", true, 2, {"a.mp3", "b.mp3"}},
      {MessageResult::No, "old a", "b.mp3", true, 2, {"b.mp3"}},
      {MessageResult::Cancel, "old a", "old b", false, 1, {}},
  };
  for (const Case& c : cases) {
    FilePlayer p({"a.mp3", "b.mp3", "c.mp3"});
    const std::string out = p.root / "out";
    WriteAll(out + "/a.mp3", "old a");
    WriteAll(out + "/b.mp3", "old b");
    p.Select({0, 1, 2});
    p.window.folderDialogAnswer = out;
    p.window.messageAnswers = {c.first, MessageResult::Yes};
    p.Command(1100);
    EXPECT_EQ(ReadAll(out + "/a.mp3"), c.outA);
    EXPECT_EQ(ReadAll(out + "/b.mp3"), c.outB);
    EXPECT_EQ(fs::exists(out + "/c.mp3"), c.copiedC);
    ASSERT_EQ(p.window.messages.size(), c.questions);
    EXPECT_EQ(p.window.messages[0].text, "a.mp3\n指定されたフォルダには同じ名前のファイルが存在します。\n置き換えますか？");
    EXPECT_EQ(p.window.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(p.window.messages[0].buttons, MessageButtons::YesNoCancel);
    const std::string trash = p.home / "Trash/files";
    EXPECT_EQ(fs::exists(trash) ? Listing(trash) : Names{}, c.trashed);
    EXPECT_EQ(p.Names(), (Names{"a.mp3", "b.mp3", "c.mp3"}));  // copying leaves the list alone
    EXPECT_EQ(ReadAll(p.music + "/a.mp3"), "a.mp3");
  }
}

TEST(Copy, OwnFolderIsSkippedSilentlyAndAMissingFileIsNamed) {
  FilePlayer p({"a.mp3", "b.mp3"});
  fs::create_directories(p.root / "link");
  fs::create_symlink(p.music, p.root / "link/music");
  p.Select({0, 1});
  p.window.folderDialogAnswer = p.root / "link/music";  // the same folder, spelled otherwise
  p.Command(1100);
  EXPECT_TRUE(p.window.messages.empty());
  EXPECT_EQ(Listing(p.music), (Names{"a.mp3", "b.mp3"}));

  fs::remove(p.music + "/a.mp3");
  p.window.folderDialogAnswer = p.root / "out";
  fs::create_directories(p.root / "out");
  p.Command(1100);
  EXPECT_EQ(p.Texts(), (Names{"a.mp3 は削除されています。"}));
  EXPECT_EQ(p.window.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(Listing(p.root / "out"), (Names{"b.mp3"}));
  // Both dialogs opened where the first copy's first file lay.
  ASSERT_EQ(p.window.folderDialogs.size(), 2u);
  EXPECT_EQ(p.window.folderDialogs[1], std::make_pair(std::string("コピーするフォルダを選択してください。"), p.music));
}

TEST(Move, ThePlayingFileHandsOverToTheEntryThatTookItsPlace) {
  struct Case {
    std::set<int> selected;
    int playing;
    Names left;
    std::string plays;
    int selectedAfter;
  } cases[] = {
      {{1, 2, 3}, 2, {"a", "e", "f"}, "e", 1},
      {{4, 5}, 5, {"a", "b", "c", "d"}, "d", 3},  // past the end: the new last entry
      {{1, 5}, 5, {"a", "c", "d", "e"}, "e", 1},
  };
  for (const Case& c : cases) {
    FilePlayer p({"a", "b", "c", "d", "e", "f"});
    p.Play(c.playing);
    ASSERT_EQ(p.model.mode, "playing");
    p.Select(c.selected);
    p.window.folderDialogAnswer = p.root / "out";
    fs::create_directories(p.root / "out");
    p.Command(1200);
    EXPECT_EQ(p.Names(), c.left);
    EXPECT_EQ(p.window.rows, c.left);
    EXPECT_EQ(p.model.mode, "playing");
    EXPECT_EQ(p.model.openPath, p.music + "/" + c.plays);
    EXPECT_EQ(p.window.selected, std::set<int>{c.selectedAfter});
    EXPECT_EQ(Listing(p.root / "out").size(), c.selected.size());
    EXPECT_TRUE(p.window.messages.empty());
  }
}

TEST(Move, AFileThatEndedWhileTheFolderDialogWasOpenStartsNothing) {
  FilePlayer p({"a", "b", "c"});
  p.Play(1);
  p.Select({1});
  fs::create_directories(p.root / "out");
  p.window.folderDialogAnswer = p.root / "out";
  p.window.whileDialogOpen = [&] { p.model.mode = "stopped"; };  // its end is on its way
  const size_t opened = p.model.attempts.size();
  p.Command(1200);
  EXPECT_EQ(p.Names(), (Names{"a", "c"}));
  EXPECT_EQ(p.model.attempts.size(), opened);
}

TEST(Move, KeepsTheSameFileCurrentAndTellsWhenTheListRunsEmpty) {
  FilePlayer p({"0", "1", "2", "3", "4", "5", "6"});
  fs::create_directories(p.root / "out");
  p.window.folderDialogAnswer = p.root / "out";
  p.state.currentIndex = 3;
  p.Select({1, 5});
  p.Command(1200);
  EXPECT_EQ(p.state.currentIndex, 2);
  EXPECT_EQ(p.Names()[2], "3");
  EXPECT_EQ(p.model.attempts.size(), 0u);  // nothing played: nothing was playing

  p.window.SetAllRowsSelected(true);
  p.Command(1200);
  EXPECT_TRUE(p.state.entries.empty());
  EXPECT_TRUE(p.window.rows.empty());
  EXPECT_EQ(p.state.lastIndex, -1);
  EXPECT_EQ(p.Texts(), (Names{"フォルダにファイルが無くなりました。"}));
  EXPECT_EQ(p.window.messages[0].icon, MessageIcon::Information);
  EXPECT_EQ(Listing(p.root / "out").size(), 7u);
}

TEST(Move, ReplacingTrashesTheOldTargetAndAFailedMoveKeepsItsEntry) {
  FilePlayer p({"a.mp3", "b.mp3"});
  WriteAll(p.root / "out/a.mp3", "old a");
  p.window.folderDialogAnswer = p.root / "out";
  p.window.messageAnswers = {MessageResult::Ok, MessageResult::Yes};
  fs::remove(p.music + "/b.mp3");
  p.Select({0, 1});
  p.Command(1200);
  EXPECT_EQ(p.Texts(), (Names{"b.mp3 は削除されています。",
                              "a.mp3\n指定されたフォルダには同じ名前のファイルが存在します。\n置き換えますか？"}));
  EXPECT_EQ(ReadAll(p.root / "out/a.mp3"), "a.mp3");
  EXPECT_EQ(ReadAll(p.home / "Trash/files/a.mp3"), "old a");
  EXPECT_EQ(p.Names(), (Names{"b.mp3"}));
  EXPECT_EQ(p.window.folderDialogs[0].first, "移動するフォルダを選択してください。");
}

TEST(Delete, GoesToTheTrashAndAFileDeletedMeanwhileKeepsItsRow) {
  FilePlayer p({"a b.mp3", "b.mp3", "c.mp3"});
  p.Play(2);
  p.Select({0, 1, 2});
  p.window.messageAnswers = {MessageResult::Cancel};
  p.Command(1400);
  EXPECT_EQ(p.Names().size(), 3u);
  EXPECT_EQ(p.window.messages[0].text, "選択されたファイルを削除します。");
  EXPECT_EQ(p.window.messages[0].buttons, MessageButtons::OkCancel);

  fs::remove(p.music + "/b.mp3");
  p.window.messages.clear();
  p.Command(1400);
  EXPECT_EQ(p.Texts(), (Names{"選択されたファイルを削除します。", "b.mp3 は削除されています。"}));
  EXPECT_EQ(p.Names(), (Names{"b.mp3"}));
  EXPECT_EQ(p.model.mode, "");  // the playing file went: stopped, not restarted
  EXPECT_TRUE(p.window.selected.empty());
  EXPECT_EQ(Listing(p.home / "Trash/files"), (Names{"a b.mp3", "c.mp3"}));
  EXPECT_NE(ReadAll(p.home / "Trash/info/a b.mp3.trashinfo").find("\nPath=" + p.music + "/a%20b.mp3\n"),
            std::string::npos);
}

TEST(Dust, NumbersTakenNamesUpTo99) {
  struct Case {
    int taken;  // song.mp3 and song_01.mp3 ... in the dust folder already
    std::string stored;
  } cases[] = {{-1, "song.mp3"}, {1, "song_02.mp3"}, {99, ""}};
  for (const Case& c : cases) {
    FilePlayer p({"song.mp3", "other.mp3"});
    // The dust folder is at the top of what the user owns on this drive:
    // the test's own folder, below the shared /tmp.
    const std::string dust = p.root / "Qel_DUST";
    if (c.taken >= 0) WriteAll(dust + "/song.mp3", "old");
    for (int n = 1; n <= c.taken; ++n) WriteAll(dust + "/song_" + (n < 10 ? "0" : "") + std::to_string(n) + ".mp3", "");
    p.Play(0);
    p.Select({0});
    p.Command(4000);
    if (c.stored.empty()) {
      EXPECT_EQ(p.Texts(), (Names{"song.mp3 の移動に失敗しました。"}));
      EXPECT_EQ(p.Names(), (Names{"song.mp3", "other.mp3"}));
      EXPECT_EQ(p.model.openPath, p.music + "/song.mp3");  // still playing
      continue;
    }
    EXPECT_EQ(ReadAll(dust + "/" + c.stored), "song.mp3");
    EXPECT_EQ(p.Names(), (Names{"other.mp3"}));
    EXPECT_EQ(p.model.openPath, p.music + "/other.mp3");
    EXPECT_EQ(p.model.mode, "playing");
    EXPECT_TRUE(p.window.messages.empty());
  }
}

}  // namespace
}  // namespace qel::test
