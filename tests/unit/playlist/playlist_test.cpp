#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/stat.h>

#include <chrono>

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
    p.window.saveDialogAnswer = SaveChoice{dir / name, std::string(name) == "x.m3u" ? 1 : 0};
    WritePlaylist(p.state, false, 3, p.state.executablePath, true);
    ASSERT_EQ(p.window.saveDialogs.size(), 1u);
    EXPECT_EQ(p.window.saveDialogs[0].filters[1].label, "ShiftJIS m3u(*.m3u)");
    EXPECT_EQ(p.window.saveDialogs[0].initialName, "elsewhere");
    EXPECT_EQ(p.state.nowDir, dir.path);
    std::string bytes = ReadAll(dir / name);
    std::string expect = "#EXTM3U\r\n#EXTINF:0,Song A 日本\r\na.mp3\r\n#EXTINF:0,b\r\nb.mp3\r\n"
                         "#EXTINF:0,c\r\nLive/c.mp3\r\n#EXTINF:0,Tab bed\r\n" + outside + "\r\n";
    std::string wanted = std::string(name) == "x.m3u" ? *Utf8ToLegacyExact(expect) : "\xEF\xBB\xBF" + expect;
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
  // What a save killed before its rename left behind goes with this save.
  WriteAll(dir / "state/qel/qel-2.m3u8.tmp-Xy12Zq", std::string(5000, 'x'));
  WritePlaylist(p.state, true, 0, p.state.executablePath, false);
  std::string target = dir / "state/qel/qel-2.m3u8";
  EXPECT_FALSE(std::filesystem::exists(dir / "state/qel/qel-2.m3u8.tmp-Xy12Zq"));
  EXPECT_EQ(target, AutoPlaylistPath(p.state.executablePath, "-2"));
  EXPECT_EQ(ReadAll(target), "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:0,a.mp3\r\n" + dir / "a.mp3" + "\r\n");

  // An empty list leaves the previous file alone.
  p.state.entries.clear();
  p.state.lastIndex = -1;
  WritePlaylist(p.state, true, -1, p.state.executablePath, false);
  EXPECT_NE(ReadAll(target).find("a.mp3"), std::string::npos);

  // A dialog save over an existing file: the old one goes to the trash.
  WriteAll(dir / "old.m3u8", "old");
  p.state.entries = {{dir / "b.mp3", "B", 0}};
  p.state.lastIndex = 0;
  p.window.saveDialogAnswer = SaveChoice{dir / "old.m3u8", 0};
  WritePlaylist(p.state, false, 0, p.state.executablePath, false);
  EXPECT_EQ(ReadAll(p.home / "Trash/files/old.m3u8"), "old");
  EXPECT_TRUE(std::filesystem::exists(p.home / "Trash/info/old.m3u8.trashinfo"));
  EXPECT_NE(ReadAll(dir / "old.m3u8").find("#EXTINF:0,B\r\nb.mp3"), std::string::npos);

  // The trash refuses (its folder cannot be made): message, nothing
  // written, the old file whole.
  WriteAll(dir / "no-folder", "");
  p.files = PosixFileSystem(dir / "no-folder/Trash");
  std::string before = ReadAll(dir / "old.m3u8");
  WritePlaylist(p.state, false, 0, p.state.executablePath, false);
  ASSERT_EQ(p.window.messages.size(), 1u);
  EXPECT_EQ(p.window.messages[0].text, "old.m3u8 の削除に失敗しました。");
  EXPECT_EQ(p.window.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(ReadAll(dir / "old.m3u8"), before);

  // A target that cannot be created (its folder is a file): the old auto-save stays.
  std::string autoBefore = ReadAll(target);
  WriteAll(dir / "blocker", "x");
  p.window.saveDialogAnswer = SaveChoice{dir / "blocker/new.m3u8", 0};
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

// The same text with each character of a legacy twin pair in one form: how
// a title written into a ".m3u" may come back.
std::string FoldTwins(const std::string& s) {
  std::string out;
  size_t pos = 0;
  while (pos < s.size()) {
    uint32_t c = DecodeUtf8(s, &pos);
    uint32_t twin = LegacyTwin(c);
    AppendUtf8(out, twin && twin < c ? twin : c);
  }
  return out;
}

// Names that real music folders hold and that trip playlists up.
struct HardName {
  std::string name;
  bool legacyHolds;  // whether the legacy code page has every character
};
const HardName kHardNames[] = {
    {"〜 wave dash.mp3", true},     {"～ full-width tilde.mp3", true}, {"1−2 minus.mp3", true},
    {"－ full-width minus.mp3", true}, {"‖ double bar.mp3", true},  {"∥ parallel.mp3", true},
    {"¢ cent.mp3", true},            {"£ pound.mp3", true},          {"¬ not.mp3", true},
    {"— em dash.mp3", true},          {"― bar.mp3", true},            {"¥1000.mp3", true},
    {"‾ overline.mp3", true},         {"a~b.mp3", true},              {"back\\slash.mp3", true},
    {"#1 hit.mp3", true},             {"#", true},                   {"x", true},
    {" blanks at both ends.mp3 ", true}, {"  .mp3", true},           {"日本語の曲.mp3", true},
    {"ﾊﾝｶｸ.mp3", true},               {"Live〜/#2 〜.mp3", true},      {"〜/¥/‾.mp3", true},
    {"🎵 emoji.mp3", false},          {"Café crème.mp3", false},      {"Ärger Ñandú.mp3", false},
};

TEST(Playlist, HardNamesRoundTripInBothEncodings) {
  TempDir dir;
  std::string outside = dir / "outside/〜 far.mp3";
  WriteAll(outside, "");
  for (const HardName& h : kHardNames) WriteAll(dir / ("music/" + h.name), "");
  const std::string music = dir / "music";

  for (const char* target : {"list.m3u8", "list.m3u"}) {
    const bool legacy = std::string(target) == "list.m3u";
    for (bool onlyHeld : {true, false}) {
      if (!legacy && onlyHeld) continue;
      test::FakePlayer p;
      p.state.nowDir = music;
      for (const HardName& h : kHardNames)
        if (h.legacyHolds || !onlyHeld) p.state.entries.push_back({music + "/" + h.name, "", 0});
      p.state.entries.push_back({outside, "遠い 〜 曲", 0});
      p.state.lastIndex = static_cast<int>(p.state.entries.size()) - 1;
      p.window.saveDialogAnswer = SaveChoice{music + "/" + target, legacy ? 1 : 0};
      p.window.messageAnswers = {MessageResult::Yes};
      WritePlaylist(p.state, false, p.state.lastIndex, "", false);

      // A list the code page cannot hold is offered as UTF-8 instead.
      std::string written = music + "/" + target;
      if (legacy && !onlyHeld) {
        ASSERT_EQ(p.window.messages.size(), 1u);
        const std::string& text = p.window.messages[0].text;
        for (const HardName& h : kHardNames)
          EXPECT_EQ(text.find(h.name) != std::string::npos, !h.legacyHolds) << h.name;
        EXPECT_NE(text.find("list.m3u8"), std::string::npos) << text;
        EXPECT_FALSE(std::filesystem::exists(written));
        written = music + "/list.m3u8";
      } else {
        EXPECT_TRUE(p.window.messages.empty());
      }
      std::string bytes = ReadAll(written);
      ASSERT_FALSE(bytes.empty()) << target;
      EXPECT_EQ(bytes.find('?'), std::string::npos) << target;

      test::FakePlayer q;
      int added = 0;
      ReadPlaylist(q.state, written, music, 0, added, false, false);
      ASSERT_EQ(q.state.entries.size(), p.state.entries.size()) << target << " " << onlyHeld;
      for (size_t i = 0; i < p.state.entries.size(); ++i) {
        EXPECT_EQ(q.state.entries[i].path, p.state.entries[i].path) << target;
        std::string title = p.state.entries[i].title.empty() ? std::string(std::filesystem::path(
                                                                   p.state.entries[i].path).filename())
                                                             : p.state.entries[i].title;
        EXPECT_EQ(FoldTwins(q.state.entries[i].title), FoldTwins(title)) << target;
      }
      std::filesystem::remove(written);
    }
  }

  // The auto-saved playlist holds full paths and reads back whole too.
  setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
  test::FakePlayer p;
  for (const HardName& h : kHardNames) p.state.entries.push_back({music + "/" + h.name, "", 0});
  p.state.lastIndex = static_cast<int>(p.state.entries.size()) - 1;
  WritePlaylist(p.state, true, p.state.lastIndex, dir / "bin/qel", false);
  test::FakePlayer q;
  int added = 0;
  ReadPlaylist(q.state, dir / "state/qel/qel.m3u8", music, 0, added, false, false);
  EXPECT_EQ(Entries(q.state).size(), p.state.entries.size());
  unsetenv("XDG_STATE_HOME");
}

TEST(Playlist, ALossyListNeverReplacesAFileOnDisk) {
  TempDir dir;
  WriteAll(dir / "🎵.mp3", "");
  WriteAll(dir / "a.mp3", "");
  WriteAll(dir / "x.m3u", "old list");
  test::FakePlayer p;
  p.state.nowDir = dir.path;
  p.state.entries = {{dir / "a.mp3", "", 0}, {dir / "🎵.mp3", "", 1}};
  p.state.lastIndex = 1;
  p.window.saveDialogAnswer = SaveChoice{dir / "x.m3u", 1};
  p.window.messageAnswers = {MessageResult::No};
  WritePlaylist(p.state, false, 1, "", false);
  ASSERT_EQ(p.window.messages.size(), 1u);
  EXPECT_EQ(p.window.messages[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(p.window.messages[0].caption, "Qel");
  EXPECT_NE(p.window.messages[0].text.find("🎵.mp3"), std::string::npos);
  EXPECT_EQ(p.window.messages[0].text.find("a.mp3"), std::string::npos);
  EXPECT_EQ(ReadAll(dir / "x.m3u"), "old list");
  EXPECT_FALSE(std::filesystem::exists(dir / "x.m3u8"));
  EXPECT_FALSE(std::filesystem::exists(p.home / "Trash"));

  // Saving as UTF-8 instead over an existing ".m3u8" asks first.
  WriteAll(dir / "x.m3u8", "old utf-8 list");
  p.window.messageAnswers = {MessageResult::Yes, MessageResult::No};
  WritePlaylist(p.state, false, 1, "", false);
  EXPECT_EQ(p.window.messages.size(), 3u);
  EXPECT_EQ(ReadAll(dir / "x.m3u8"), "old utf-8 list");
  EXPECT_EQ(ReadAll(dir / "x.m3u"), "old list");
}

TEST(Playlist, LegacyBytesFindNamesMadeByEitherTable) {
  TempDir dir;
  // Names on disk as a JIS-minded converter made them; the playlist bytes
  // as a Windows program wrote them in CP932.
  struct Case {
    std::string onDisk;
    std::string line;  // CP932 bytes
  };
  const Case cases[] = {
      {"〜.mp3", "\x81\x60.mp3"},                           // wave dash
      {"−.mp3", "\x81\x7C.mp3"},                            // minus
      {"‖.mp3", "\x81\x61.mp3"},                            // double vertical line
      {"¢£¬.mp3", "\x81\x91\x81\x92\x81\xCA.mp3"},         // cent, pound, not
      {"—.mp3", "\x81\x5C.mp3"},                            // em dash
      {"¥100.mp3", "\x5C" "100.mp3"},                        // yen, a "\" to Windows
      {"‾.mp3", "~.mp3"},                                    // overline
      {"～/〜.mp3", "\x81\x60\\\x81\x60.mp3"},               // a folder of one table, a file of the other
      {"a¥b/c.mp3", "a\\b\\c.mp3"},                         // "\" as yen and as separator in one line
      {"表.mp3", "\x95\x5C.mp3"},                            // 0x5C as a second byte is no yen
  };
  for (const Case& c : cases) {
    WriteAll(dir / ("music/" + c.onDisk), "");
    WriteAll(dir / "music/list.m3u", "#EXTM3U\r\n" + c.line + "\r\n" + dir.path + "/music/" + Utf8ToLegacy(c.onDisk) + "\r\n");
    test::FakePlayer p;
    int added = 0;
    ReadPlaylist(p.state, dir / "music/list.m3u", dir / "music", 0, added, false, false);
    ASSERT_EQ(added, 2) << c.onDisk;
    EXPECT_EQ(p.state.entries[0].path, dir / ("music/" + c.onDisk));
    EXPECT_EQ(p.state.entries[1].path, dir / ("music/" + c.onDisk));
    std::filesystem::remove_all(dir / "music");
  }
  // A name on disk in the Microsoft form is found at once, as before.
  WriteAll(dir / "m/～.mp3", "");
  WriteAll(dir / "m/list.m3u", "\x81\x60.mp3\n");
  test::FakePlayer p;
  int added = 0;
  ReadPlaylist(p.state, dir / "m/list.m3u", dir / "m", 0, added, false, false);
  EXPECT_EQ(Entries(p.state), (std::vector<std::pair<std::string, std::string>>{{dir / "m/～.mp3", ""}}));
}

TEST(Playlist, M3uInUtf8ReadsAsUtf8) {
  TempDir dir;
  WriteAll(dir / "曲 〜.mp3", "");
  WriteAll(dir / "a.mp3", "");
  struct Case {
    std::string bytes;
    std::string title;
  };
  const Case cases[] = {
      {"#EXTM3U\n#EXTINF:1,日本語\n曲 〜.mp3\n", "日本語"},                    // UTF-8 without a mark
      {"\xEF\xBB\xBF#EXTINF:1,日本語\r\n曲 〜.mp3\r\n", "日本語"},             // with one
      {"#EXTINF:1,\x93\xFA\x96\x7B\x8C\xEA\n\x8B\xC8 \x81\x60.mp3\n", "日本語"},  // CP932 stays CP932
      {"\xEF\xBB\xBF#EXTINF:1,ascii\na.mp3\n", "ascii"},
  };
  for (const Case& c : cases) {
    WriteAll(dir / "list.m3u", c.bytes);
    test::FakePlayer p;
    int added = 0;
    ReadPlaylist(p.state, dir / "list.m3u", dir.path, 0, added, false, false);
    ASSERT_EQ(added, 1) << c.bytes;
    EXPECT_EQ(p.state.entries[0].title, c.title);
  }
  EXPECT_TRUE(ReadsAsUtf8("\xEF\xBB\xBF"));
  EXPECT_FALSE(ReadsAsUtf8("plain ascii"));
  EXPECT_FALSE(ReadsAsUtf8("\x82\xA0"));  // あ in CP932
  EXPECT_TRUE(ReadsAsUtf8("あ"));
}

TEST(Playlist, TheChosenFilterDecidesNameAndEncoding) {
  struct Case {
    std::string typed;
    int filter;
    std::string file;
    bool legacy;
  };
  const Case cases[] = {
      {"x", 1, "x.m3u", true},          {"x", 0, "x.m3u8", false},       {"x", 2, "x.m3u8", false},
      {"Vol.2", 1, "Vol.2.m3u", true},  {"Vol.2", 0, "Vol.2.m3u8", false}, {"Vol.2", 2, "Vol.2", false},
      {"y.m3u8", 1, "y.m3u8", false},   {"z.M3U", 0, "z.M3U", true},     {"w.m3u", 2, "w.m3u", true},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteAll(dir / "日本.mp3", "");
    test::FakePlayer p;
    p.state.nowDir = dir.path;
    p.state.entries = {{dir / "日本.mp3", "", 0}};
    p.state.lastIndex = 0;
    p.window.saveDialogAnswer = SaveChoice{dir / c.typed, c.filter};
    WritePlaylist(p.state, false, 0, "", false);
    std::string body = "#EXTM3U\r\n#EXTINF:0,日本.mp3\r\n日本.mp3\r\n";
    EXPECT_EQ(ReadAll(dir / c.file), c.legacy ? *Utf8ToLegacyExact(body) : "\xEF\xBB\xBF" + body)
        << c.typed << " " << c.filter;
    int files = static_cast<int>(std::distance(std::filesystem::directory_iterator(dir.path), {}));
    EXPECT_EQ(files, 2) << c.typed << " " << c.filter;
  }
  // A name the dialog never saw is not replaced without asking.
  TempDir dir;
  WriteAll(dir / "a.mp3", "");
  WriteAll(dir / "x.m3u", "keep");
  test::FakePlayer p;
  p.state.nowDir = dir.path;
  p.state.entries = {{dir / "a.mp3", "", 0}};
  p.state.lastIndex = 0;
  p.window.saveDialogAnswer = SaveChoice{dir / "x", 1};
  p.window.messageAnswers = {MessageResult::No};
  WritePlaylist(p.state, false, 0, "", false);
  ASSERT_EQ(p.window.messages.size(), 1u);
  EXPECT_EQ(p.window.messages[0].text, "x.m3u は既に存在します。\n上書きしますか？");
  EXPECT_EQ(ReadAll(dir / "x.m3u"), "keep");
}

TEST(Playlist, OnlyRegularFilesAreReadAndLinesNameOnlyFilesAndFolders) {
  TempDir dir;
  WriteAll(dir / "a.mp3", "");
  ASSERT_EQ(::mkfifo((dir / "fifo.m3u8").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((dir / "fifo.mp3").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir / "zero.m3u8");
  std::filesystem::create_symlink("/dev/zero", dir / "zero.mp3");
  for (const char* name : {"fifo.m3u8", "zero.m3u8"}) {
    test::FakePlayer p;
    int added = 0;
    auto start = std::chrono::steady_clock::now();
    ReadPlaylist(p.state, dir / name, dir.path, 0, added, true, false);
    EXPECT_EQ(added, 0) << name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << name;
  }
  WriteAll(dir / "list.m3u8", "fifo.mp3\nzero.mp3\n/dev/zero\na.mp3\n/dev/null\n");
  test::FakePlayer p;
  int added = 0;
  ReadPlaylist(p.state, dir / "list.m3u8", dir.path, 0, added, true, false);
  EXPECT_EQ(Entries(p.state), (std::vector<std::pair<std::string, std::string>>{{dir / "a.mp3", ""}}));
}

// Many lines in one folder are checked against its listing: the listing
// must judge every kind of name as a look at each file would.
TEST(Playlist, AFolderOfManyEntriesKeepsExactlyItsFiles) {
  TempDir dir;
  std::string lines;
  std::vector<std::pair<std::string, std::string>> kept;
  for (int i = 0; i < 20; ++i) {
    const std::string name = "track " + std::to_string(i) + ".mp3";
    if (i % 5 != 4) WriteAll(dir / name, "");  // every fifth is missing
    if (i % 5 != 4) kept.push_back({dir / name, ""});
    lines += name + "\n";
  }
  ASSERT_EQ(::mkfifo((dir / "fifo.mp3").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir / "track 0.mp3", dir / "link.mp3");
  std::filesystem::create_symlink(dir / "fifo.mp3", dir / "link to fifo.mp3");
  std::filesystem::create_symlink("/dev/zero", dir / "zero.mp3");
  std::filesystem::create_symlink(dir / "gone.mp3", dir / "dangling.mp3");
  lines += "fifo.mp3\nlink.mp3\nlink to fifo.mp3\nzero.mp3\ndangling.mp3\nTRACK 1.mp3\n";
  kept.push_back({dir / "link.mp3", ""});
  WriteAll(dir / "list.m3u8", lines);
  test::FakePlayer p;
  int added = 0;
  ReadPlaylist(p.state, dir / "list.m3u8", dir.path, 0, added, true, false);
  EXPECT_EQ(Entries(p.state), kept);
}

TEST(Playlist, AHugePlaylistIsCutAtTheBound) {
  TempDir dir;
  // Lines of 101 bytes: the byte bound ends the read before the entry bound.
  const std::string name = std::string(96, 'n') + ".mp3";
  WriteAll(dir / name, "");
  WriteAll(dir / "s.mp3", "");
  struct Case {
    std::string line;
    size_t entries;
  };
  const Case cases[] = {
      {name + "\n", kPlaylistByteLimit / (name.size() + 1)},
      {"s.mp3\n", kListEntryLimit},
  };
  for (const Case& c : cases) {
    {
      std::ofstream out(dir / "big.m3u8", std::ios::binary);
      std::string block;
      for (int i = 0; i < 1000; ++i) block += c.line;
      for (size_t written = 0; written < 100u * 1000 * 1000; written += block.size()) out << block;
    }
    ASSERT_GT(std::filesystem::file_size(dir / "big.m3u8"), 100u * 1000 * 1000);
    test::FakePlayer p;
    int added = 0;
    ReadPlaylist(p.state, dir / "big.m3u8", dir.path, 0, added, false, false);
    EXPECT_EQ(static_cast<size_t>(added), c.entries);
    EXPECT_EQ(p.state.entries.size(), c.entries);
    EXPECT_EQ(p.state.lastIndex + 1, static_cast<int>(c.entries));
  }
}

}  // namespace
}  // namespace qel
