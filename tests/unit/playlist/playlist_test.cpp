#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/playlist/playlist.h"
#include "core/settings/paths.h"
#include "core/text/encoding.h"
#include "fakes/fakes.h"
#include "fakes/files.h"

namespace qel {
namespace {

using test::ReadAll;
using test::TempDir;
using test::WriteAll;

std::vector<std::pair<std::string, std::string>> Entries(const AppState& s) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const ListEntry& e : s.entries) out.push_back({e.path, e.title});
  return out;
}

TEST(Playlist, ReaderGrammar) {
  TempDir dir;
  for (const char* f : {"a.mp3", "sub/c.ogg", "x", "e.mp3", "f.mp3", "g.mp3"}) WriteAll(dir / f, "");
  std::filesystem::create_directories(dir / "folder");
  WriteAll(dir / "up/list.m3u8",
           "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:215,Artist, Title\r\n../a.mp3\r\n"
           "#EXTINF:Song\n..\\sub\\c.ogg\n"
           "x\n"  // two characters with its line end: ignored
           "#EXTINF:1,Pending\nmissing.mp3\n" + dir.path + "/e.mp3\n" +
           dir.path + "/folder\n#EXTINF:9,T\n./../f.mp3");
  test::FakePlayer p;
  int added = 0;
  ReadPlaylist(p.state, dir / "up/list.m3u8", dir / "up", 0, added, true, false);
  using V = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(Entries(p.state), (V{{dir / "a.mp3", "Artist, Title"},
                                 {dir / "sub/c.ogg", "Song"},
                                 {dir / "e.mp3", "Pending"},
                                 {dir / "folder", ""},
                                 {dir / "f.mp3", "T"}}));
  EXPECT_EQ(added, 5);
  EXPECT_EQ(p.window.rows, (std::vector<std::string>{"Artist, Title", "Song", "Pending", "folder", "T"}));

  // Inserting in the middle of a list, rows and entries at the same index.
  int more = 0;
  WriteAll(dir / "two.m3u8", "g.mp3\na.mp3\n");
  ReadPlaylist(p.state, dir / "two.m3u8", dir.path, 1, more, true, true);
  EXPECT_EQ(more, 2);
  EXPECT_EQ(p.state.entries[1].path, dir / "g.mp3");
  EXPECT_EQ(p.state.entries[2].path, dir / "a.mp3");
  EXPECT_EQ(p.window.rows[1], "g");  // NoExt
  EXPECT_EQ(p.state.lastIndex, 6);

  int none = 0;
  ReadPlaylist(p.state, dir / "nothing.m3u8", dir.path, 0, none, false, false);
  EXPECT_EQ(none, 0);
}

TEST(Playlist, ShiftJisBytesRead) {
  TempDir dir;
  WriteAll(dir / "曲.mp3", "");
  // "#EXTINF:3,日本語" and "曲.mp3" in CP932, byte for byte.
  WriteAll(dir / "old.M3U", "#EXTM3U\r\n#EXTINF:3,\x93\xFA\x96\x7B\x8C\xEA\r\n\x8B\xC8.mp3\r\n");
  test::FakePlayer p;
  int added = 0;
  ReadPlaylist(p.state, dir / "old.M3U", dir.path, 0, added, false, false);
  ASSERT_EQ(added, 1);
  EXPECT_EQ(p.state.entries[0].path, dir / "曲.mp3");
  EXPECT_EQ(p.state.entries[0].title, "日本語");
  EXPECT_TRUE(p.window.rows.empty());
}

TEST(Playlist, WriteAndReadBackInBothEncodings) {
  TempDir dir;
  WriteAll(dir / "a.mp3", "");
  WriteAll(dir / "b.mp3", "");
  WriteAll(dir / "Live/c.mp3", "");
  WriteAll(dir / "../qel-other-" + std::filesystem::path(dir.path).filename().string() + ".mp3", "");
  std::string outside = std::filesystem::path(dir.path).parent_path().string() + "/qel-other-" +
                        std::filesystem::path(dir.path).filename().string() + ".mp3";
  for (const char* name : {"x.m3u8", "x.m3u"}) {
    test::FakePlayer p;
    p.state.entries = {{dir / "a.mp3", "Song A 日本", 0}, {dir / "b.mp3", "", 1}, {dir / "Live/c.mp3", "", 2},
                       {outside, "Tab\nbed", 3}};
    p.state.lastIndex = 3;
    p.state.nowDir = "/elsewhere";
    p.state.savedTitle = "Qel - a";
    p.window.saveDialogAnswer = dir / name;
    WritePlaylist(p.state, false, 3, p.state.executablePath, true);
    ASSERT_EQ(p.window.saveDialogs.size(), 1u);
    EXPECT_EQ(p.window.saveDialogs[0].filters[1].label, "ShiftJIS m3u(*.m3u)");
    EXPECT_EQ(p.window.saveDialogs[0].initialName, "elsewhere");
    EXPECT_EQ(p.state.nowDir, dir.path);
    std::string bytes = ReadAll(dir / name);
    std::string expect = "#EXTM3U\r\n#EXTINF:0,Song A 日本\r\na.mp3\r\n#EXTINF:0,b\r\nb.mp3\r\n"
                         "#EXTINF:0,c\r\nLive/c.mp3\r\n#EXTINF:0,Tab bed\r\n" + outside + "\r\n";
    std::string wanted = std::string(name) == "x.m3u" ? Utf8ToLegacy(expect) : "\xEF\xBB\xBF" + expect;
    EXPECT_EQ(bytes, wanted);
    EXPECT_EQ(p.window.titles[0], "プレイリスト保存中... (1/4)");
    EXPECT_EQ(p.window.title, "Qel - a");
    EXPECT_EQ(p.desktop.busyCalls, (std::vector<bool>{true, false}));

    test::FakePlayer q;
    int added = 0;
    ReadPlaylist(q.state, dir / name, dir.path, 0, added, false, false);
    using V = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(Entries(q.state), (V{{dir / "a.mp3", "Song A 日本"}, {dir / "b.mp3", "b"}, {dir / "Live/c.mp3", "c"},
                                   {outside, "Tab bed"}}))
        << name;
  }
  std::filesystem::remove(outside);
}

TEST(Playlist, AutoSaveAndReplacing) {
  TempDir dir;
  setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
  test::FakePlayer p;
  p.state.executablePath = dir / "bin/qel";
  p.state.instanceName = "-2";
  p.state.entries = {{dir / "a.mp3", "", 0}};
  p.state.lastIndex = 0;
  WritePlaylist(p.state, true, 0, p.state.executablePath, false);
  std::string target = dir / "state/qel/qel-2.m3u8";
  EXPECT_EQ(target, AutoPlaylistPath(p.state.executablePath, "-2"));
  EXPECT_EQ(ReadAll(target), "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:0,a.mp3\r\n" + dir / "a.mp3" + "\r\n");

  // An empty list leaves the previous file alone.
  p.state.entries.clear();
  p.state.lastIndex = -1;
  WritePlaylist(p.state, true, -1, p.state.executablePath, false);
  EXPECT_NE(ReadAll(target).find("a.mp3"), std::string::npos);

  // A dialog save over an existing file: the old one goes to the trash.
  WriteAll(dir / "old.m3u8", "old");
  std::filesystem::create_directories(dir / "trash");
  p.desktop.trashFolder = dir / "trash";
  p.state.entries = {{dir / "b.mp3", "B", 0}};
  p.state.lastIndex = 0;
  p.window.saveDialogAnswer = dir / "old.m3u8";
  WritePlaylist(p.state, false, 0, p.state.executablePath, false);
  EXPECT_EQ(p.desktop.trashed, (std::vector<std::string>{dir / "old.m3u8"}));
  EXPECT_EQ(ReadAll(dir / "trash/0-old.m3u8"), "old");
  EXPECT_NE(ReadAll(dir / "old.m3u8").find("#EXTINF:0,B\r\nb.mp3"), std::string::npos);

  // The trash refuses: message, nothing written, the old file whole.
  p.desktop.trashFolder.clear();
  std::string before = ReadAll(dir / "old.m3u8");
  WritePlaylist(p.state, false, 0, p.state.executablePath, false);
  ASSERT_EQ(p.window.messages.size(), 1u);
  EXPECT_EQ(p.window.messages[0].text, "old.m3u8 の削除に失敗しました。");
  EXPECT_EQ(p.window.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(ReadAll(dir / "old.m3u8"), before);

  // A target that cannot be created (its folder is a file): the old auto-save stays.
  std::string autoBefore = ReadAll(target);
  WriteAll(dir / "blocker", "x");
  p.window.saveDialogAnswer = dir / "blocker/new.m3u8";
  WritePlaylist(p.state, false, 0, p.state.executablePath, false);
  EXPECT_FALSE(std::filesystem::exists(dir / "blocker/new.m3u8"));
  // A folder standing where the auto-save goes: the rename fails, nothing is lost.
  std::filesystem::remove(target);
  std::filesystem::create_directories(target);
  WritePlaylist(p.state, true, 0, p.state.executablePath, false);
  EXPECT_TRUE(std::filesystem::is_directory(target));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "state/qel"), {}), 1);

  // Cancelled dialog: nothing happens.
  p.window.saveDialogAnswer.reset();
  std::string nowDir = p.state.nowDir;
  WritePlaylist(p.state, false, 0, p.state.executablePath, false);
  EXPECT_EQ(p.state.nowDir, nowDir);
  unsetenv("XDG_STATE_HOME");
}

TEST(Playlist, BadInputNeverCrashes) {
  TempDir dir;
  WriteAll(dir / "a.mp3", "");
  std::string garbage;
  for (int i = 0; i < 200000; ++i) garbage.push_back(static_cast<char>((i * 2654435761u) >> 24));
  std::string longLine(10 * 1024 * 1024, 'z');
  struct Case {
    std::string name, bytes;
    size_t entries;
  };
  const size_t kAny = SIZE_MAX;  // whatever the rules give, each entry naming something that exists
  const Case cases[] = {
      {"garbage.m3u8", garbage, kAny},
      {"garbage.m3u", garbage, kAny},
      {"long.m3u8", "#EXTINF:1," + longLine + "\na.mp3\n" + longLine + "\na.mp3\n", 2},
      {"badutf8.m3u8", "#EXTINF:1,\xC3(\xFF\na.mp3\n\xFF\xFE\xFD\n", 1},
      {"badsjis.m3u", "#EXTINF:1,\x81\n\x82\xFF\na.mp3\n\x81", 1},
  };
  for (const Case& c : cases) {
    WriteAll(dir / c.name, c.bytes);
    test::FakePlayer p;
    int added = 0;
    ReadPlaylist(p.state, dir / c.name, dir.path, 0, added, true, false);
    if (c.entries != kAny) {
      EXPECT_EQ(p.state.entries.size(), c.entries) << c.name;
    }
    EXPECT_EQ(p.window.rows.size(), p.state.entries.size());
    for (const ListEntry& e : p.state.entries) {
      EXPECT_TRUE(IsValidUtf8(e.title)) << c.name;
      EXPECT_TRUE(std::filesystem::exists(e.path)) << c.name << ": " << e.path;
    }
  }
}

}  // namespace
}  // namespace qel
