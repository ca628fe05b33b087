#include "core/list/list.h"
#include "core/playback/position.h"
#include "core/settings/ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "fakes/fakes.h"
#include "temp_tree.h"

namespace qel {
namespace {

using test::FakePlayer;
using test::TempTree;
using Names = std::vector<std::string>;

// A player whose device accepts every file: a length answer makes PlayEntry
// succeed.
struct Player : FakePlayer {
  Player() {
    device.On("status qel length", {0, "180000"});
  }
  bool Opened(const std::string& path) const {
    return std::any_of(device.commands.begin(), device.commands.end(),
                       [&](const std::string& c) { return c.rfind("open \"" + path + "\"", 0) == 0; });
  }
  bool OpenedAnything() const {
    return std::any_of(device.commands.begin(), device.commands.end(),
                       [](const std::string& c) { return c.rfind("open ", 0) == 0; });
  }
  std::vector<std::string> DisplayTexts() const {
    std::vector<std::string> out;
    for (const ListEntry& e : state.entries) out.push_back(DisplayText(state, e));
    return out;
  }
};

std::set<std::string> NameSet(const TempTree& t, const AppState& state) {
  Names names = t.Names(state);
  return {names.begin(), names.end()};
}

TEST(IsMediaName, WholeExtensionsOnlyWithoutRegardToCase) {
  AppState state;
  state.mediaExtensions = ".mp3.wave.mid.m3u.m3u8.qel";
  struct Case {
    const char* name;
    bool media;
  } cases[] = {
      {"song.mp3", true},      {"song.MP3", true},  {"a.mp", false},          {"a.wav", false},
      {"a.wave", true},        {"x.qel", true},     {"readme", false},        {"a.", false},
      {"a.mp3.txt", false},    {".mid", true},      {"/dir.mp3/file", false}, {"/music/x.Mid", true},
      {"a.mp3.wave", true},    {"mp3", false},      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsMediaName(state, c.name), c.media) << c.name;

  state.mediaExtensions = "*";
  EXPECT_TRUE(IsMediaName(state, "readme"));
  EXPECT_TRUE(IsMediaName(state, "a.txt"));
}

TEST(PathPieces, FolderNameExtension) {
  EXPECT_EQ(FolderPart("/music/a.mp3"), "/music");
  EXPECT_EQ(FolderPart("/a.mp3"), "/");
  EXPECT_EQ(FolderPart("a.mp3"), "");
  EXPECT_EQ(FileNamePart("/music/a.b.mp3"), "a.b.mp3");
  EXPECT_EQ(ExtensionOf("/music.d/track"), "");
  EXPECT_EQ(ExtensionOf("a.b.MP3"), ".MP3");
  EXPECT_EQ(BaseNameOf("/x/a.b.mp3"), "a.b");
  EXPECT_EQ(JoinPath("/", "a"), "/a");
  EXPECT_EQ(JoinPath("/m", "a"), "/m/a");
}

TEST(DisplayText, TitleElseFileNameWithOrWithoutExtension) {
  AppState state;
  ListEntry titled{"/m/a.mp3", "Song A", 0};
  ListEntry plain{"/m/b.c.mp3", "", 0};
  ListEntry dotOnly{"/m/.mp3", "", 0};
  EXPECT_EQ(DisplayText(state, titled), "Song A");
  EXPECT_EQ(DisplayText(state, plain), "b.c.mp3");
  state.settings.NoExt = true;
  EXPECT_EQ(DisplayText(state, titled), "Song A");
  EXPECT_EQ(DisplayText(state, plain), "b.c");
  EXPECT_EQ(DisplayText(state, dotOnly), ".mp3");
}

// b.mp3, a.txt, c.png, list.m3u and x/d.mp3, X/e.mp3.
void MakeMixedFolder(TempTree& t) {
  t.File("b.mp3");
  t.File("a.txt");
  t.File("c.png");
  t.File("list.m3u");
  t.File("keep.qel");
  t.File("x/d.mp3");
  t.File("X/e.mp3");
  t.File("x/deeper/f.mp3");
}

TEST(ScanFolder, SkipsNonMediaAndDescendsOnlyWhenAsked) {
  TempTree t;
  MakeMixedFolder(t);
  FakePlayer p;
  ScanFolder(p.state, t.root, false, "");
  EXPECT_EQ(t.Names(p.state), Names{"b.mp3"});
  EXPECT_EQ(p.state.lastIndex, 0);
  EXPECT_TRUE(p.window.rows.empty());  // the scan leaves the rows alone

  p.state.entries.clear();
  ScanFolder(p.state, t.root, true, "");
  std::set<std::string> all = NameSet(t, p.state);
  EXPECT_EQ(all, (std::set<std::string>{"b.mp3", "x/d.mp3", "X/e.mp3", "x/deeper/f.mp3"}));
}

// A large folder's titles are read several files at a time: each entry
// must still get its own file's title, an untagged file none.
TEST(ScanFolder, ALargeFolderGivesEachFileItsOwnTitle) {
  TempTree t;
  auto id3 = [](const std::string& title) {
    auto syncsafe = [](size_t v) {
      return std::string{char((v >> 21) & 0x7F), char((v >> 14) & 0x7F), char((v >> 7) & 0x7F), char(v & 0x7F)};
    };
    std::string body = "\x03" + title;  // UTF-8
    std::string frame = "TIT2" + syncsafe(body.size()) + std::string(2, '\0') + body;
    return std::string("ID3\x04\0\0", 6) + syncsafe(frame.size()) + frame;
  };
  for (int i = 0; i < 1500; ++i) {
    const std::string name = (i % 3 ? "" : "sub/") + std::to_string(i) + ".mp3";
    t.File(name, i % 100 == 7 ? std::string("no tag") : id3("曲 " + std::to_string(i)));
  }
  FakePlayer p;
  ScanFolder(p.state, t.root, true, "");
  ASSERT_EQ(p.state.entries.size(), 1500u);
  for (const ListEntry& e : p.state.entries) {
    const std::string number = std::filesystem::path(e.path).stem().string();
    EXPECT_EQ(e.title, std::stoi(number) % 100 == 7 ? "" : "曲 " + number) << e.path;
  }
}

TEST(ScanFolder, IgnoreNameIsOneExactCaseSensitiveName) {
  TempTree t;
  MakeMixedFolder(t);
  FakePlayer p;
  ScanFolder(p.state, t.root, true, "x");
  std::set<std::string> got = NameSet(t, p.state);
  EXPECT_EQ(got, (std::set<std::string>{"b.mp3", "X/e.mp3"}));

  p.state.entries.clear();
  ScanFolder(p.state, t.root, true, "deeper");  // a name at any depth
  got = NameSet(t, p.state);
  EXPECT_EQ(got, (std::set<std::string>{"b.mp3", "x/d.mp3", "X/e.mp3"}));

  p.state.entries.clear();
  ScanFolder(p.state, t.root, true, "x,X");  // not a list
  EXPECT_EQ(p.state.entries.size(), 4u);
}

TEST(ScanFolder, EverythingIsMediaUnderStarButPicturesAndListsStayOut) {
  TempTree t;
  MakeMixedFolder(t);
  t.File("readme");
  FakePlayer p;
  p.state.mediaExtensions = "*";
  ScanFolder(p.state, t.root, false, "");
  std::set<std::string> got = NameSet(t, p.state);
  EXPECT_EQ(got, (std::set<std::string>{"b.mp3", "readme"}));
}

TEST(ScanFolder, LinkLoopsEndAndPipesAreNoEntries) {
  TempTree t;
  t.File("a.mp3");
  t.File("sub/b.mp3");
  ASSERT_EQ(symlink(t.root.c_str(), t.Path("sub/up").c_str()), 0);
  ASSERT_EQ(mkfifo(t.Path("pipe.mp3").c_str(), 0600), 0);
  FakePlayer p;
  ScanFolder(p.state, t.root, true, "");
  std::set<std::string> got = NameSet(t, p.state);
  EXPECT_EQ(got, (std::set<std::string>{"a.mp3", "sub/b.mp3"}));
  EXPECT_EQ(p.state.entries.size(), 2u);
}

TEST(ScanFolder, MissingFolderAddsNothing) {
  FakePlayer p;
  p.state.entries.push_back({"/keep.mp3", "", 0});
  p.state.lastIndex = 0;
  ScanFolder(p.state, "/no/such/folder", true, "");
  EXPECT_EQ(p.state.entries.size(), 1u);
  EXPECT_EQ(p.state.lastIndex, 0);
}

TEST(InsertFile, InsertsEntryAndRowAtAtPlusAdded) {
  FakePlayer p;
  p.state.entries = {{"/m/a.mp3", "", 0}, {"/m/b.mp3", "", 1}};
  p.window.rows = {"a.mp3", "b.mp3"};
  int added = 0;
  InsertFile(p.state, "/n/x.mp3", 1, added);
  InsertFile(p.state, "/n/y.mp3", 1, added);
  EXPECT_EQ(added, 2);
  EXPECT_EQ(p.window.rows, (Names{"a.mp3", "x.mp3", "y.mp3", "b.mp3"}));
  EXPECT_EQ(p.state.entries[2].path, "/n/y.mp3");
  EXPECT_EQ(p.state.lastIndex, 3);
}

TEST(FindEntryByPath, ExactMatchElseTheLastEntry) {
  AppState state;
  EXPECT_EQ(FindEntryByPath(state, "/a"), -1);
  state.entries = {{"/m/a.mp3", "", 0}, {"/m/b.mp3", "", 0}, {"/m/a.mp3", "", 0}, {"/m/c.mp3", "", 0}};
  state.lastIndex = 3;
  EXPECT_EQ(FindEntryByPath(state, "/m/b.mp3"), 1);
  EXPECT_EQ(FindEntryByPath(state, "/m/a.mp3"), 0);  // the first of two
  EXPECT_EQ(FindEntryByPath(state, "/m/B.mp3"), 3);  // case matters
  EXPECT_EQ(FindEntryByPath(state, "/m/b.mp"), 3);   // and the length
  EXPECT_EQ(FindEntryByPath(state, ""), 3);
}

TEST(RenumberPlayOrder, OrderModesCountUp) {
  AppState state;
  state.entries.resize(5);
  for (PlayMode mode : {PlayMode::Order, PlayMode::Single, PlayMode::One}) {
    for (auto& e : state.entries) e.order = -7;
    RenumberPlayOrder(state, mode, 3);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(state.entries[i].order, i);
  }
}

TEST(RenumberPlayOrder, RandomUsesEveryNumberOnceWithZeroOnCurrent) {
  for (int n : {1, 2, 3, 10, 257}) {
    for (uint32_t seed : {0u, 1u, 12345u, 4000000000u}) {
      for (int current : {0, n / 2, n - 1}) {
        AppState state;
        state.entries.resize(n);
        state.shuffleSeed = seed;
        RenumberPlayOrder(state, PlayMode::Random, current);
        std::vector<int> seen(n, 0);
        for (const ListEntry& e : state.entries) {
          ASSERT_GE(e.order, 0);
          ASSERT_LT(e.order, n);
          ++seen[e.order];
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), n) << "n=" << n << " seed=" << seed;
        EXPECT_EQ(state.entries[current].order, 0);
      }
    }
  }
}

TEST(RenumberPlayOrder, RandomFollowsItsSeedAndShuffles) {
  auto orders = [](uint32_t seed) {
    AppState state;
    state.entries.resize(40);
    state.shuffleSeed = seed;
    RenumberPlayOrder(state, PlayMode::Random, 5);
    std::vector<int> out;
    for (const ListEntry& e : state.entries) out.push_back(e.order);
    return out;
  };
  EXPECT_EQ(orders(77), orders(77));
  EXPECT_NE(orders(77), orders(78));
  std::vector<int> o = orders(77);
  int inPlace = 0;
  for (int i = 0; i < 40; ++i) inPlace += (i < 5 ? o[i] == i + 1 : o[i] == i);
  EXPECT_LT(inPlace, 20);  // not the sequential order
}

TEST(RenumberPlayOrder, RandomWithoutValidCurrentStillNumbersEveryEntry) {
  AppState state;
  state.entries.resize(4);
  state.shuffleSeed = 3;
  RenumberPlayOrder(state, PlayMode::Random, -1);
  std::set<int> got;
  for (const ListEntry& e : state.entries) got.insert(e.order);
  EXPECT_EQ(got, (std::set<int>{0, 1, 2, 3}));
  EXPECT_EQ(state.entries[0].order, 0);
}

TEST(RebuildRows, ShowsProgressThenRestoresTheTitle) {
  FakePlayer p;
  p.state.entries = {{"/m/a.mp3", "Song A", 0}, {"/m/b.mp3", "", 1}, {"/m/c.mid", "", 2}};
  p.state.settings.NoExt = true;
  p.window.rows = {"old"};
  p.window.title = "Now playing";
  RebuildRows(p.state);
  EXPECT_EQ(p.window.rows, (Names{"Song A", "b", "c"}));
  EXPECT_EQ(p.window.reserved, 3);
  EXPECT_EQ(p.window.titles, (Names{"プレイリスト作成中... (1/3)", "プレイリスト作成中... (2/3)",
                                    "プレイリスト作成中... (3/3)", "Now playing"}));
  EXPECT_FALSE(p.state.rowsBusy);
}

TEST(RebuildRows, StopsWhenAskedTo) {
  FakePlayer p;
  p.state.entries.resize(3);
  p.state.stopRows = true;
  RebuildRows(p.state);
  EXPECT_TRUE(p.window.rows.empty());
  EXPECT_EQ(p.window.title, "Qel");
}

// ---- OpenTarget

struct OpenFixture : ::testing::Test {
  TempTree t;
  Player p;
  void SetUp() override {
    t.File("Track 10.mp3");
    t.File("track 2.mp3");
    t.File("Track 1.wav");
    t.File("cover.png");
    t.File("sub/inner.mp3");
  }
};

TEST_F(OpenFixture, AFileListsItsFolderSortedAndPlaysIt) {
  std::string target = t.Path("track 2.mp3");
  EXPECT_TRUE(OpenTarget(p.state, target, OpenKind::File));
  EXPECT_EQ(t.Names(p.state), (Names{"Track 1.wav", "track 2.mp3", "Track 10.mp3"}));
  EXPECT_EQ(p.state.nowDir, t.root);
  EXPECT_EQ(p.state.currentIndex, 1);
  EXPECT_EQ(p.state.lastIndex, 2);
  EXPECT_TRUE(p.Opened(target));
  EXPECT_EQ(p.window.rows, p.DisplayTexts());
  EXPECT_EQ(p.desktop.recent, Names{target});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(p.state.entries[i].order, i);
  // Its length was measured while it opened; the slider does not ask again.
  UpdateLengthSeconds(p.state);
  EXPECT_EQ(p.device.Count("open \"" + target + "\" alias Qel_ type mpegvideo shareable"), 1);
}

TEST_F(OpenFixture, SubFoldersFollowTheSetting) {
  p.state.settings.SearchSubFolder = true;
  OpenTarget(p.state, t.Path("track 2.mp3"), OpenKind::File);
  EXPECT_EQ(t.Names(p.state), (Names{"Track 1.wav", "track 2.mp3", "Track 10.mp3", "sub/inner.mp3"}));
  // The ignore name is read from the ini at every open, so the user's edit counts.
  p.state.iniPath = t.Path("qel.ini");
  ASSERT_TRUE(WriteIniString(p.state.iniPath, "UserSetting", "IgnoreDir", "sub"));
  OpenTarget(p.state, t.Path("track 2.mp3"), OpenKind::File);
  EXPECT_EQ(p.state.entries.size(), 3u);
}

TEST_F(OpenFixture, APathSpelledDifferentlyMakesTheLastEntryCurrent) {
  // It names an existing file, but not in the spelling the scan found.
  std::string target = t.root + "//track 2.mp3";
  OpenTarget(p.state, target, OpenKind::File);
  EXPECT_EQ(p.state.currentIndex, 2);
}

// A folder named on the command line or handed over opens as the folder
// itself, whatever its name looks like.
TEST_F(OpenFixture, AFolderNamedAsAFileListsItselfAndStartsItsFirstEntry) {
  t.File("album.m3u8/b.mp3");
  t.File("album.m3u8/a.mp3");
  for (const std::string& folder : {t.root, t.Path("album.m3u8")}) {
    p.device.Clear();
    p.desktop.recent.clear();
    EXPECT_TRUE(OpenTarget(p.state, folder, OpenKind::File)) << folder;
    EXPECT_EQ(p.state.nowDir, folder);
    EXPECT_EQ(p.state.currentIndex, 0);
    EXPECT_EQ(p.window.rows, p.DisplayTexts());
    const std::string first = folder == t.root ? t.Path("Track 1.wav") : t.Path("album.m3u8/a.mp3");
    EXPECT_TRUE(p.Opened(first)) << folder;
    EXPECT_EQ(p.desktop.recent, Names{first});
  }
  EXPECT_EQ(t.Names(p.state), (Names{"album.m3u8/a.mp3", "album.m3u8/b.mp3"}));
}

TEST_F(OpenFixture, AChosenOrDroppedFolderListsItselfAndStartsItsFirstEntry) {
  for (OpenKind kind : {OpenKind::ChosenFolder, OpenKind::DroppedFolder}) {
    p.device.Clear();
    EXPECT_TRUE(OpenTarget(p.state, t.root, kind));
    EXPECT_EQ(p.state.nowDir, t.root);
    EXPECT_EQ(p.state.currentIndex, 0);
    EXPECT_TRUE(p.Opened(t.Path("Track 1.wav")));
  }
}

TEST_F(OpenFixture, AMissingTargetEmptiesTheList) {
  OpenTarget(p.state, t.Path("track 2.mp3"), OpenKind::File);
  p.device.Clear();
  p.window.title = "something";
  EXPECT_FALSE(OpenTarget(p.state, t.Path("TRACK 2.mp3"), OpenKind::File));  // names differ in case
  EXPECT_TRUE(p.state.entries.empty());
  EXPECT_EQ(p.state.lastIndex, -1);
  EXPECT_EQ(p.state.currentIndex, -1);
  EXPECT_TRUE(p.window.rows.empty());
  EXPECT_EQ(p.window.title, "Qel");
  EXPECT_FALSE(p.OpenedAnything());
}

TEST_F(OpenFixture, TheEmptyTargetLeavesAnEmptyList) {
  EXPECT_FALSE(OpenTarget(p.state, "", OpenKind::File));
  EXPECT_TRUE(p.state.entries.empty());
  EXPECT_EQ(p.window.title, "Qel");
  EXPECT_TRUE(p.desktop.recent.empty());
}

TEST_F(OpenFixture, ANonMediaFileListsTheFolderWithoutPlaying) {
  OpenTarget(p.state, t.Path("cover.png"), OpenKind::File);
  EXPECT_EQ(p.state.entries.size(), 3u);
  EXPECT_FALSE(p.OpenedAnything());
}

TEST_F(OpenFixture, AnUnplayableFileSkipsAheadWhenErrorsAreIgnored) {
  Player q;
  q.device.responder = [](const std::string& c, test::FakeDevice::Reply& r) {
    if (c.find("Track 1.wav") != std::string::npos && c.rfind("open", 0) == 0) {
      r.error = 263;
      return true;
    }
    return false;
  };
  q.state.settings.IgnoreError = true;
  OpenTarget(q.state, t.root, OpenKind::ChosenFolder);
  EXPECT_EQ(q.state.currentIndex, 1);
  EXPECT_TRUE(q.Opened(t.Path("track 2.mp3")));
}

TEST_F(OpenFixture, RandomOrderStartsTheSequenceAtTheOpenedFile) {
  p.state.playMode = PlayMode::Random;
  p.state.shuffleSeed = 9;
  OpenTarget(p.state, t.Path("Track 10.mp3"), OpenKind::File);
  EXPECT_EQ(p.state.entries[2].order, 0);
}

// ---- playlists (read by the playlist reader, placed by the list)

struct PlaylistFixture : ::testing::Test {
  TempTree t;
  Player p;
  std::string list;
  void SetUp() override {
    t.File("pl/z.mp3");
    t.File("pl/a.mp3");
    t.File("pl/m.mp3");
    list = t.File("pl/mix.m3u8", "\xEF\xBB\xBF#EXTM3U\n#EXTINF:1,Zed\nz.mp3\n#EXTINF:2,Ay\na.mp3\nm.mp3\n");
  }
};

TEST_F(PlaylistFixture, APlaylistKeepsItsOrderAndStartsItsFirstEntry) {
  EXPECT_TRUE(OpenTarget(p.state, list, OpenKind::File));
  EXPECT_EQ(t.Names(p.state), (Names{"pl/z.mp3", "pl/a.mp3", "pl/m.mp3"}));
  EXPECT_EQ(p.state.currentIndex, 0);
  EXPECT_EQ(p.window.rows, (Names{"Zed", "Ay", "m.mp3"}));
  EXPECT_EQ(p.desktop.recent, Names{list});
  EXPECT_TRUE(p.Opened(t.Path("pl/z.mp3")));
}

TEST_F(PlaylistFixture, TheResumedListSelectsNowPlayingWithoutStarting) {
  // The resume point comes from the ini the last run wrote.
  p.state.iniPath = t.Path("qel.ini");
  ASSERT_TRUE(WriteIniString(p.state.iniPath, "SystemSetting", "nowDir", t.Path("pl")));
  ASSERT_TRUE(WriteIniString(p.state.iniPath, "SystemSetting", "nowPlaying", t.Path("pl/a.mp3")));
  EXPECT_FALSE(OpenTarget(p.state, list, OpenKind::ResumedList));
  EXPECT_EQ(p.state.nowDir, t.Path("pl"));
  EXPECT_EQ(p.state.currentIndex, 1);
  EXPECT_TRUE(p.desktop.recent.empty());
  EXPECT_FALSE(p.OpenedAnything());
  ASSERT_TRUE(WriteIniString(p.state.iniPath, "SystemSetting", "nowPlaying", "/gone.mp3"));
  OpenTarget(p.state, list, OpenKind::ResumedList);
  EXPECT_EQ(p.state.currentIndex, 2);  // an unknown file: the last entry
}

TEST_F(PlaylistFixture, ASavedSearchMayRedirectToAPlaylist) {
  std::string q = t.File("q/p.qel", list + "\n");
  OpenTarget(p.state, q, OpenKind::File);
  EXPECT_EQ(t.Names(p.state), (Names{"pl/z.mp3", "pl/a.mp3", "pl/m.mp3"}));  // not sorted
  EXPECT_EQ(p.window.rows, (Names{"Zed", "Ay", "m.mp3"}));
}

TEST_F(PlaylistFixture, ADroppedPlaylistGoesInAtTheRow) {
  t.File("other/b.mp3");
  t.File("other/c.mp3");
  OpenTarget(p.state, t.Path("other/c.mp3"), OpenKind::File);
  ASSERT_EQ(p.state.currentIndex, 1);
  DropOnList(p.state, {list}, {5, 20});  // row 1
  EXPECT_EQ(t.Names(p.state), (Names{"other/b.mp3", "pl/z.mp3", "pl/a.mp3", "pl/m.mp3", "other/c.mp3"}));
  EXPECT_EQ(p.state.currentIndex, 4);
  EXPECT_EQ(p.window.rows.size(), 5u);
  EXPECT_EQ(p.window.rows[1], "Zed");
}

// ---- saved searches

struct SavedSearchFixture : ::testing::Test {
  TempTree t;
  Player p;
  void SetUp() override {
    t.File("music/live one.mp3");
    t.File("music/demo two.mp3");
    t.File("music/studio.mp3");
    t.File("music/live notes.txt");
    t.File("music/Live Big.mp3");
    t.File("music/sub/live three.mp3");
    t.File("music/sub/other.mp3");
    t.File("music/skip/live four.mp3");
    t.File("music/extra/demo five.mp3");
  }
  std::string Qel(const std::string& rel, const std::string& body) { return t.File(rel, body); }
  int Load(const std::string& file, const std::string& base) {
    int added = 0;
    return LoadSavedSearch(p.state, file, base, 0, added, false);
  }
};

TEST_F(SavedSearchFixture, OrQueryInTheFilesOwnFolderEntersNoSubFolder) {
  std::string q = Qel("music/s.qel", "OR live demo\n\n\n");
  OpenTarget(p.state, q, OpenKind::File);
  EXPECT_EQ(t.Names(p.state), (Names{"music/demo two.mp3", "music/live one.mp3"}));
  EXPECT_EQ(p.state.nowDir, t.Path("music"));
  EXPECT_EQ(p.desktop.recent, Names{q});  // only the saved search itself
  EXPECT_TRUE(p.Opened(t.Path("music/demo two.mp3")));
  EXPECT_EQ(p.window.rows, (Names{"demo two.mp3", "live one.mp3"}));
}

TEST_F(SavedSearchFixture, StarFolderQueryEntersEverySubFolderButTheIgnoredOne) {
  p.state.settings.IgnoreDir = "skip";
  std::string q = Qel("music/s.qel", "OR live demo\n*\n");
  Load(q, t.Path("music"));
  EXPECT_EQ(t.Names(p.state), (Names{"music/demo two.mp3", "music/live one.mp3", "music/extra/demo five.mp3",
                                     "music/sub/live three.mp3"}));
}

// Files dusted from a folder below a shared sticky one go into its own
// Qel_DUST: no scan brings them back into the list.
TEST_F(SavedSearchFixture, TheDustFolderIsNeverScanned) {
  t.File("music/Qel_DUST/live gone.mp3");
  Load(Qel("music/s.qel", "live\n*\n"), t.Path("music"));
  EXPECT_EQ(t.Names(p.state),
            (Names{"music/live one.mp3", "music/skip/live four.mp3", "music/sub/live three.mp3"}));
  p.state.entries.clear();
  p.state.settings.SearchSubFolder = true;
  OpenTarget(p.state, t.Path("music/studio.mp3"), OpenKind::File);
  for (const std::string& name : t.Names(p.state)) EXPECT_EQ(name.find("Qel_DUST"), std::string::npos) << name;
  EXPECT_EQ(p.state.entries.size(), 8u);
}

TEST_F(SavedSearchFixture, FolderQueryPicksSubFoldersByName) {
  std::string q = Qel("music/s.qel", "live\n-ex\n");
  Load(q, t.Path("music"));
  EXPECT_EQ(t.Names(p.state),
            (Names{"music/live one.mp3", "music/skip/live four.mp3", "music/sub/live three.mp3"}));
}

TEST_F(SavedSearchFixture, ExclusionAndEmptyFileQuery) {
  Load(Qel("music/a.qel", "-live\n"), t.Path("music"));
  EXPECT_EQ(t.Names(p.state), (Names{"music/demo two.mp3", "music/Live Big.mp3", "music/studio.mp3"}));
  p.state.entries.clear();
  Load(Qel("music/b.qel", ""), t.Path("music"));  // an empty file matches every name
  EXPECT_EQ(p.state.entries.size(), 4u);
  p.state.entries.clear();
  Load(Qel("music/c.qel", "*\n"), t.Path("music"));
  EXPECT_EQ(p.state.entries.size(), 4u);
}

TEST_F(SavedSearchFixture, EntriesCarryTheirDisplayTextAsTitle) {
  p.state.settings.NoExt = true;
  Load(Qel("music/s.qel", "studio\n"), t.Path("music"));
  ASSERT_EQ(p.state.entries.size(), 1u);
  EXPECT_EQ(p.state.entries[0].title, "studio");
}

TEST_F(SavedSearchFixture, LineThreeRelativeAbsoluteOrTheCallersFolder) {
  std::string q = Qel("queries/r.qel", "OR live demo\n\n../music/sub\n");
  Load(q, "/nowhere");
  EXPECT_EQ(t.Names(p.state), (Names{"music/sub/live three.mp3"}));

  p.state.entries.clear();
  Load(Qel("queries/a.qel", "demo\n\n" + t.Path("music/extra") + "\n"), "/nowhere");
  EXPECT_EQ(t.Names(p.state), (Names{"music/extra/demo five.mp3"}));

  p.state.entries.clear();
  Load(Qel("queries/e.qel", "studio\n\n\n"), t.Path("music"));
  EXPECT_EQ(t.Names(p.state), (Names{"music/studio.mp3"}));
}

TEST_F(SavedSearchFixture, ByteOrderMarkAndWindowsLineEnds) {
  Load(Qel("music/w.qel", "\xEF\xBB\xBFOR live demo\r\n\r\n\r\n"), t.Path("music"));
  EXPECT_EQ(p.state.entries.size(), 2u);
}

TEST_F(SavedSearchFixture, RedirectToAFolderScansIt) {
  p.state.settings.SearchSubFolder = true;
  p.state.settings.IgnoreDir = "skip";
  std::string q = Qel("q/f.qel", t.Path("music/sub") + "\nignored\n");
  EXPECT_EQ(Load(q, "/nowhere"), 0);
  EXPECT_EQ(t.Names(p.state), (Names{"music/sub/live three.mp3", "music/sub/other.mp3"}));
}

TEST_F(SavedSearchFixture, RedirectToAMediaFileListsItsFolderAndStartsThere) {
  std::string q = Qel("q/m.qel", t.Path("music/studio.mp3") + "\n");
  OpenTarget(p.state, q, OpenKind::File);
  EXPECT_EQ(p.state.entries.size(), 4u);
  EXPECT_EQ(p.state.entries[p.state.currentIndex].path, t.Path("music/studio.mp3"));
  EXPECT_TRUE(p.Opened(t.Path("music/studio.mp3")));
}

TEST_F(SavedSearchFixture, RedirectToAnotherSavedSearchUsesItsFolder) {
  Qel("music/inner.qel", "OR live demo\n");
  std::string outer = Qel("q/outer.qel", t.Path("music/inner.qel") + "\n");
  Load(outer, "/nowhere");
  EXPECT_EQ(t.Names(p.state), (Names{"music/demo two.mp3", "music/live one.mp3"}));
}

TEST_F(SavedSearchFixture, RedirectsInACircleEnd) {
  std::string a = t.Path("q/a.qel"), b = t.Path("q/b.qel");
  Qel("q/a.qel", b + "\n");
  Qel("q/b.qel", a + "\n");
  Qel("q/self.qel", t.Path("q/self.qel") + "\n");
  EXPECT_EQ(Load(a, "/nowhere"), 0);
  EXPECT_EQ(Load(t.Path("q/self.qel"), "/nowhere"), 0);
  EXPECT_TRUE(p.state.entries.empty());
}

TEST_F(SavedSearchFixture, ARelativeFirstLineIsAQueryWhateverTheWorkingFolder) {
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(t.Path("music").c_str()), 0);  // "sub" exists relative to here
  int start = Load(Qel("music/r.qel", "sub\n"), t.Path("music"));
  ASSERT_EQ(chdir(old), 0);
  EXPECT_EQ(start, 0);
  EXPECT_TRUE(p.state.entries.empty());  // no file name contains "sub"
}

TEST_F(SavedSearchFixture, MissingOrUnlistableAddsNothing) {
  EXPECT_EQ(Load(t.Path("none.qel"), t.Path("music")), 0);
  EXPECT_EQ(Load(Qel("x.qel", "live\n\n/no/such/folder\n"), "/nowhere"), 0);
  EXPECT_TRUE(p.state.entries.empty());
  EXPECT_FALSE(OpenTarget(p.state, t.Path("none.qel"), OpenKind::File));
  EXPECT_EQ(p.window.title, "Qel");
}

// ---- pipes and devices

TEST(HostileTargets, PipesAndDevicesAreNeverReadWhereverTheyComeFrom) {
  TempTree t;
  t.File("real.mp3");
  const Names kinds = {".m3u8", ".m3u", ".qel", ".mp3"};
  Names hostile;
  for (const std::string& ext : kinds) {
    ASSERT_EQ(::mkfifo(t.Path("fifo" + ext).c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", t.Path("zero" + ext));
    hostile.push_back(t.Path("fifo" + ext));
    hostile.push_back(t.Path("zero" + ext));
  }
  // Saved searches and playlists whose lines lead to them.
  std::string redirects = t.File("redirect/fifo.qel", t.Path("fifo.m3u8") + "\n");
  std::string viaZero = t.File("redirect/zero.qel", t.Path("zero.m3u8") + "\n");
  std::string lines = t.File("redirect/lines.m3u8", t.Path("fifo.mp3") + "\n" + t.Path("zero.mp3") + "\n");
  hostile.insert(hostile.end(), {redirects, viaZero, lines});

  for (const std::string& target : hostile) {
    Player p;
    p.window.title = "before";
    for (OpenKind kind : {OpenKind::File, OpenKind::ResumedList}) {
      EXPECT_FALSE(OpenTarget(p.state, target, kind)) << target;
      EXPECT_TRUE(p.state.entries.empty()) << target;
      EXPECT_EQ(p.window.title, "Qel") << target;
      EXPECT_FALSE(p.OpenedAnything()) << target;
    }
  }
  // Dropped on the list, they add nothing either.
  Player p;
  OpenTarget(p.state, t.Path("real.mp3"), OpenKind::File);
  DropOnList(p.state, hostile, {1, 1});
  EXPECT_EQ(t.Names(p.state), (Names{"real.mp3"}));
  EXPECT_EQ(p.window.rows.size(), 1u);
}

// ---- drops

struct DropFixture : ::testing::Test {
  TempTree t;
  Player p;
  Names five{"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"};
  void SetUp() override {
    for (const auto& n : five) t.File("list/" + n);
    t.File("new/x.mp3");
    t.File("new/y.mp3");
    t.File("new/z.mp3");
    t.File("new/notes.txt");
    t.File("new/pic.png");
    t.File("new/doc.pdf");
    OpenTarget(p.state, t.Path("list/d.mp3"), OpenKind::File);
    ASSERT_EQ(p.state.currentIndex, 3);
  }
  Point Row(int row) const { return {10, row * p.window.rowHeight + 3}; }
};

TEST_F(DropFixture, ThreeFilesOnRowTwoMoveTheCurrentEntry) {
  int current = DropOnList(p.state, {t.Path("new/x.mp3"), t.Path("new/y.mp3"), t.Path("new/z.mp3")}, Row(2));
  EXPECT_EQ(t.Names(p.state), (Names{"list/a.mp3", "list/b.mp3", "new/x.mp3", "new/y.mp3", "new/z.mp3",
                                     "list/c.mp3", "list/d.mp3", "list/e.mp3"}));
  EXPECT_EQ(current, 6);
  EXPECT_EQ(p.state.currentIndex, 6);
  EXPECT_EQ(p.state.lastIndex, 7);
  EXPECT_EQ(p.window.rows, p.DisplayTexts());
  EXPECT_EQ(p.state.nowDir, t.Path("new"));
}

TEST_F(DropFixture, OutsideTheClientAreaAppendsInsideBelowTheRowsGoesBeforeTheLast) {
  DropOnList(p.state, {t.Path("new/x.mp3")}, {10, p.window.clientHeight + 50});
  EXPECT_EQ(t.Names(p.state).back(), "new/x.mp3");
  EXPECT_EQ(p.state.currentIndex, 3);
  // Blank space under the rows is still inside: the nearest row is the last.
  DropOnList(p.state, {t.Path("new/y.mp3")}, {10, p.window.clientHeight - 2});
  EXPECT_EQ(t.Names(p.state)[5], "new/y.mp3");
  EXPECT_EQ(t.Names(p.state)[6], "new/x.mp3");
  EXPECT_EQ(p.window.rows, p.DisplayTexts());
}

TEST_F(DropFixture, BeforeTheFirstRow) {
  DropOnList(p.state, {t.Path("new/z.mp3")}, Row(0));
  EXPECT_EQ(t.Names(p.state).front(), "new/z.mp3");
  EXPECT_EQ(p.state.currentIndex, 4);
}

TEST_F(DropFixture, OntoAnEmptyListTheFirstDroppedFileIsCurrent) {
  Player q;
  int current = DropOnList(q.state, {t.Path("new/y.mp3"), t.Path("new/x.mp3")}, {5, 5});
  EXPECT_EQ(current, 0);
  EXPECT_EQ(t.Names(q.state), (Names{"new/y.mp3", "new/x.mp3"}));
}

TEST_F(DropFixture, FolderFilesKeepFileSystemOrderAndOthersAreSkipped) {
  t.File("new/deeper/w.mp3");  // sub-folders of a dropped folder stay out
  Names expected;
  for (const auto& e : std::filesystem::directory_iterator(t.Path("new"))) {
    std::string n = e.path().filename().string();
    if (n.size() > 4 && n.substr(n.size() - 4) == ".mp3") expected.push_back("new/" + n);
  }
  DropOnList(p.state, {t.Path("new")}, Row(1));
  Names got = t.Names(p.state);
  EXPECT_EQ(Names(got.begin() + 1, got.begin() + 4), expected);
  EXPECT_EQ(got.size(), 8u);
  EXPECT_EQ(p.state.nowDir, t.root);
}

TEST_F(DropFixture, PicturesTextAndForeignFilesAreSkippedEvenUnderStar) {
  p.state.mediaExtensions = "*";
  DropOnList(p.state, {t.Path("new/notes.txt"), t.Path("new/pic.png"), t.Path("new/doc.pdf"), t.Path("missing.mp3")},
             Row(0));
  EXPECT_EQ(t.Names(p.state).front(), "new/doc.pdf");  // "*" admits it
  EXPECT_EQ(p.state.entries.size(), 6u);
  p.state.mediaExtensions = ".mp3";
  DropOnList(p.state, {t.Path("new/doc.pdf")}, Row(0));
  EXPECT_EQ(p.state.entries.size(), 6u);
}

TEST_F(DropFixture, ASavedSearchKeepsRowsAndCurrentFileInStep) {
  std::string q = t.File("new/s.qel", "OR x z\n");
  std::string current = p.state.entries[p.state.currentIndex].path;
  DropOnList(p.state, {q}, Row(1));
  EXPECT_EQ(p.state.entries.size(), 7u);
  EXPECT_EQ(p.state.lastIndex, 6);
  EXPECT_EQ(p.state.entries[p.state.currentIndex].path, current);
  EXPECT_EQ(p.window.rows, p.DisplayTexts());
}

}  // namespace
}  // namespace qel
