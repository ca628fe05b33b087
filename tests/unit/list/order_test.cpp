#include "core/list/order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "core/list/list.h"
#include "core/text/natural.h"
#include "fakes/fakes.h"

namespace qel {
namespace {

using test::FakePlayer;
using Names = std::vector<std::string>;

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(NaturalCompare, OrdersPairsAsAFileManagerWould) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"track2", "track10", -1},
      {"Track 1", "track 2", -1},
      {"track 2", "Track 10", -1},
      {"abc", "ABC", 0},
      {"a", "B", -1},
      {"file", "file1", -1},
      {"file1", "file1a", -1},
      {"08", "9", -1},
      {"7", "007", -1},  // equal numbers: fewer leading zeros first
      {"007", "7", 1},
      {"0", "00", -1},
      {"99999999999999999999", "100000000000000000000", -1},  // no overflow
      {"x12345678901234567890", "x9", 1},
      {"_a", "1", -1},  // punctuation, then digits, then letters
      {"1", "a", -1},
      {" a", "a", -1},
      {"~", "a", -1},
      {"e", "\xC3\xA9", -1},                    // e before é
      {"\xC3\xA9", "f", -1},                    // é before f
      {"\xC3\xA9" "a", "eb", -1},               // the accent only breaks ties
      {"\xC3\x89mile", "\xC3\xA9mile", 0},      // Émile, émile
      {"\xC3\x89mile", "emile", 1},
      {"\xC3\x85ngstr\xC3\xB6m", "Angstrom", 1},
      {"\xC3\x85ngstr\xC3\xB6m", "Angstron", -1},
      {"\xCE\x91\xCE\xB2", "\xCE\xB1\xCE\x92", 0},  // Greek case
      {"\xD0\xAF", "\xD1\x8F", 0},                  // Cyrillic Я я
      {"\xEF\xBC\xA1", "a", 1},                     // full-width Ａ after a, before b
      {"\xEF\xBC\xA1", "b", -1},
      {"\xEF\xBD\x81\xEF\xBD\x82", "ac", -1},       // ａｂ before ac
      {"あ", "い", -1},
      {"か", "漢", -1},
      {"曲2", "曲10", -1},
      {"z", "あ", -1},
      {"\xE3\x80\x80" "a", "a", -1},  // ideographic space is a separator
      {"", "a", -1},
      {"", "", 0},
      // Full-width digits are digits: alone, in runs, and mixed with ASCII ones.
      {"第２話", "第１０話", -1},
      {"第９話", "第１０話", -1},
      {"第10話", "第２話", 1},
      {"第１0話", "第9話", 1},    // mixed run: ten
      {"第1０話", "第１１話", -1},  // ten before eleven
      {"track２", "track10", -1},
      {"０８", "9", -1},
      {"\xEF\xBC\x90", "_", 1},   // ０ after punctuation
      {"\xEF\xBC\x99", "a", -1},  // ９ before letters
      {"１", "1", 1},               // same number: the ASCII form first, never equal
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sign(NaturalCompare(c.a, c.b)), c.sign) << c.a << " vs " << c.b;
    EXPECT_EQ(Sign(NaturalCompare(c.b, c.a)), -c.sign) << c.b << " vs " << c.a;
  }
}

TEST(NaturalCompare, IsATotalOrderOverTrickyNames) {
  std::vector<std::string> names = {
      "a", "A", "a1", "a01", "a001", "a2", "a10", "a 2", "a_2", "a-2", "b", "B1", "é", "É", "e", "E10",
      "f", "あ", "ア", "亜", "曲1", "曲01", "曲10", "Ω", "ω", "Я", "я", "z9", "Z09", "\xFF", "\xFE", "\xFF" "a",
      "", " ", "1", "01", "10", "x.mp3", "x.MP3", "x.wav", "ａ", "Ａ", "ß", "ss", "ǅ", "œ",
      "１", "０１", "1０", "１0", "１０", "９", "第２話", "第１０話", "第10話",
  };
  const size_t n = names.size();
  for (size_t i = 0; i < n; ++i) {
    EXPECT_EQ(NaturalCompare(names[i], names[i]), 0);
    for (size_t j = 0; j < n; ++j) {
      int ij = Sign(NaturalCompare(names[i], names[j]));
      EXPECT_EQ(ij, -Sign(NaturalCompare(names[j], names[i]))) << names[i] << " / " << names[j];
      for (size_t k = 0; k < n; ++k) {
        int jk = Sign(NaturalCompare(names[j], names[k]));
        if (ij < 0 && jk < 0) {
          EXPECT_LT(NaturalCompare(names[i], names[k]), 0) << names[i] << names[j] << names[k];
        }
        if (ij == 0 && jk == 0) {
          EXPECT_EQ(NaturalCompare(names[i], names[k]), 0);
        }
      }
    }
  }
}

TEST(NaturalCompare, StaysConsistentOnRandomNamesWithSharedPrefixes) {
  // Shared prefixes end inside digit runs and inside multi-byte characters,
  // where a shortcut over equal bytes could go wrong.
  const char* pieces[] = {"0", "1", "9", "12", "a", "A", "é", "É", "曲", "\xFF", "\xC3", " ", "_", "z", "\xA9",
                          "０", "１", "９"};
  std::mt19937 gen(11);
  std::vector<std::string> names;
  for (int base = 0; base < 12; ++base) {
    std::string stem;
    for (int k = 0, n = int(gen() % 5); k < n; ++k) stem += pieces[gen() % 18];
    for (int v = 0; v < 8; ++v) {
      std::string s = stem;
      for (int k = 0, n = int(gen() % 4); k < n; ++k) s += pieces[gen() % 18];
      names.push_back(s);
    }
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return NaturalCompare(a, b) < 0;
  });
  for (size_t i = 0; i < names.size(); ++i)
    for (size_t j = i + 1; j < names.size(); ++j) {
      EXPECT_LE(NaturalCompare(names[i], names[j]), 0) << i << " " << j;
      EXPECT_EQ(Sign(NaturalCompare(names[i], names[j])), -Sign(NaturalCompare(names[j], names[i])));
    }
}

TEST(FoldCase, LatinGreekCyrillicFullWidth) {
  EXPECT_EQ(FoldCase('Q'), uint32_t('q'));
  EXPECT_EQ(FoldCase(0xC9), 0xE9u);    // É
  EXPECT_EQ(FoldCase(0xD7), 0xD7u);    // ×
  EXPECT_EQ(FoldCase(0x141), 0x142u);  // Ł
  EXPECT_EQ(FoldCase(0x160), 0x161u);  // Š
  EXPECT_EQ(FoldCase(0x178), 0xFFu);   // Ÿ
  EXPECT_EQ(FoldCase(0x39A), 0x3BAu);  // Κ
  EXPECT_EQ(FoldCase(0x401), 0x451u);  // Ё
  EXPECT_EQ(FoldCase(0xFF3A), 0xFF5Au);
  EXPECT_EQ(FoldCase(0x3042), 0x3042u);  // kana have no case
}

std::vector<ListEntry> Entries(const Names& paths) {
  std::vector<ListEntry> out;
  for (const auto& p : paths) out.push_back({p, "", 0});
  return out;
}

Names Paths(const AppState& state) {
  Names out;
  for (const auto& e : state.entries) out.push_back(e.path);
  return out;
}

TEST(SortEntries, FolderThenNameThenExtension) {
  AppState state;
  state.entries = Entries({"/Music/Live/a.mp3", "/Music/Track 10.mp3", "/Music/track 2.mp3", "/Music/Track 1.wav",
                           "/Music/song.wav", "/Music/song.mp3", "/Music/B/x.mp3", "/Music/a b/x.mp3",
                           "/music/zz.mp3", "/Music/曲10.mp3", "/Music/曲2.mp3", "/Music/Éclair.mp3",
                           "/Music/eclair.mp3", "/Music/Echo.mp3"});
  SortEntries(state);
  EXPECT_EQ(Paths(state), (Names{"/Music/Echo.mp3", "/Music/eclair.mp3", "/Music/Éclair.mp3", "/Music/song.mp3",
                                 "/Music/song.wav", "/Music/Track 1.wav", "/Music/track 2.mp3",
                                 "/Music/Track 10.mp3", "/Music/曲2.mp3", "/Music/曲10.mp3", "/music/zz.mp3",
                                 "/Music/a b/x.mp3", "/Music/B/x.mp3", "/Music/Live/a.mp3"}));
}

TEST(SortEntries, FoldersDifferingOnlyInCaseStayApart) {
  AppState state;
  state.entries = Entries({"/m/Live/b.mp3", "/m/live/a.mp3", "/m/Live/c.mp3", "/m/live/d.mp3", "/m/LIVE/e.mp3",
                           "/m/Kid/z.mp3", "/m/kie/a.mp3", "/m/Live/sub/a.mp3", "/m/第１０話/a.mp3",
                           "/m/第２話/a.mp3"});
  SortEntries(state);
  // Between folders the order still ignores letter case (Kid, kie, Live);
  // each folder's files stay together.
  EXPECT_EQ(Paths(state), (Names{"/m/Kid/z.mp3", "/m/kie/a.mp3", "/m/LIVE/e.mp3", "/m/Live/b.mp3", "/m/Live/c.mp3",
                                 "/m/live/a.mp3", "/m/live/d.mp3", "/m/Live/sub/a.mp3", "/m/第２話/a.mp3",
                                 "/m/第１０話/a.mp3"}));
}

TEST(SortEntries, GivesOneResultWhateverTheStartingOrder) {
  Names paths = {"/a/x.mp3", "/A/x.mp3", "/a/X.mp3", "/a/x.MP3", "/a/x.mp3", "/a/01.mp3", "/a/1.mp3",
                 "/a/é.mp3", "/a/e.mp3", "/a/E.mp3", "/b/1.mp3", "/B/1.mp3"};
  AppState first;
  first.entries = Entries(paths);
  SortEntries(first);
  std::mt19937 gen(5);
  for (int round = 0; round < 20; ++round) {
    std::shuffle(paths.begin(), paths.end(), gen);
    AppState state;
    state.entries = Entries(paths);
    SortEntries(state);
    EXPECT_EQ(Paths(state), Paths(first));
  }
  for (size_t i = 0; i + 1 < first.entries.size(); ++i)
    EXPECT_FALSE(EntryLess(first.entries[i + 1], first.entries[i]));
}

struct ListFixture : ::testing::Test {
  FakePlayer p;
  void Fill(const Names& names, int current) {
    p.state.entries = Entries(names);
    p.state.lastIndex = static_cast<int>(names.size()) - 1;
    p.state.currentIndex = current;
    for (const auto& e : p.state.entries) p.window.rows.push_back(DisplayText(p.state, e));
  }
  Names Rows() const { return p.window.rows; }
  std::set<int> Selected() const { return p.window.selected; }
  void CheckInStep() {
    ASSERT_EQ(p.window.rows.size(), p.state.entries.size());
    for (size_t i = 0; i < p.state.entries.size(); ++i)
      EXPECT_EQ(p.window.rows[i], DisplayText(p.state, p.state.entries[i]));
    EXPECT_EQ(p.state.lastIndex, static_cast<int>(p.state.entries.size()) - 1);
    for (size_t i = 0; i < p.state.entries.size(); ++i) EXPECT_EQ(p.state.entries[i].order, int(i));
  }
};

TEST_F(ListFixture, SortKeepsTheCurrentFileAndAsksForReselection) {
  Fill({"/m/c.mp3", "/m/a.mp3", "/m/b.mp3"}, 0);
  p.state.stopRows = true;
  p.state.relayoutPending = false;
  SortList(p.state);
  EXPECT_EQ(Rows(), (Names{"a.mp3", "b.mp3", "c.mp3"}));
  EXPECT_EQ(p.state.currentIndex, 2);
  EXPECT_TRUE(p.state.relayoutPending);
  EXPECT_TRUE(p.window.timerRunning);
  EXPECT_EQ(p.window.timerPeriod, 100);
  EXPECT_TRUE(p.device.commands.empty());  // playback goes on untouched
  CheckInStep();
}

TEST_F(ListFixture, SortOfAnEmptyListDoesNothing) {
  SortList(p.state);
  EXPECT_FALSE(p.window.timerRunning);
  EXPECT_TRUE(p.window.titles.empty());
}

TEST_F(ListFixture, MoveDownKeepsTheCurrentFile) {
  Fill({"/m/a", "/m/b", "/m/c", "/m/d", "/m/e"}, 4);
  p.window.selected = {2, 3};
  MoveSelectionDown(p.state);
  EXPECT_EQ(Rows(), (Names{"a", "b", "e", "c", "d"}));
  EXPECT_EQ(p.state.currentIndex, 2);
  EXPECT_EQ(Selected(), (std::set<int>{3, 4}));
  CheckInStep();
}

TEST_F(ListFixture, MoveDownSeparateRows) {
  Fill({"/m/a", "/m/b", "/m/c", "/m/d", "/m/e"}, 0);
  p.window.selected = {0, 2};
  MoveSelectionDown(p.state);
  EXPECT_EQ(Rows(), (Names{"b", "a", "d", "c", "e"}));
  EXPECT_EQ(p.state.currentIndex, 1);
  EXPECT_EQ(Selected(), (std::set<int>{1, 3}));
  CheckInStep();
}

TEST_F(ListFixture, MoveUpIsTheMirror) {
  Fill({"/m/a", "/m/b", "/m/c", "/m/d", "/m/e"}, 0);
  p.window.selected = {1, 2};
  MoveSelectionUp(p.state);
  EXPECT_EQ(Rows(), (Names{"b", "c", "a", "d", "e"}));
  EXPECT_EQ(p.state.currentIndex, 2);
  EXPECT_EQ(Selected(), (std::set<int>{0, 1}));
  CheckInStep();
}

TEST_F(ListFixture, MovesAtTheEdgeOrWithoutSelectionChangeNothing) {
  Fill({"/m/a", "/m/b", "/m/c"}, 1);
  p.state.entries[0].order = 9;  // untouched: no renumbering either
  p.window.selected = {0, 2};
  MoveSelectionDown(p.state);
  MoveSelectionUp(p.state);
  EXPECT_EQ(Rows(), (Names{"a", "b", "c"}));
  EXPECT_EQ(Selected(), (std::set<int>{0, 2}));
  p.window.selected.clear();
  MoveSelectionDown(p.state);
  MoveSelectionUp(p.state);
  RemoveFromList(p.state);
  EXPECT_EQ(Rows(), (Names{"a", "b", "c"}));
  EXPECT_EQ(p.state.entries[0].order, 9);
  EXPECT_EQ(p.state.currentIndex, 1);
}

TEST_F(ListFixture, RemovingTheCurrentRowStopsAndTheNextOneTakesItsPlace) {
  Fill({"/m/a", "/m/b", "/m/c", "/m/d", "/m/e"}, 3);
  p.window.selected = {1, 3};
  p.window.position = 55;
  RemoveFromList(p.state);
  EXPECT_EQ(Rows(), (Names{"a", "c", "e"}));
  EXPECT_EQ(p.state.currentIndex, 2);
  EXPECT_EQ(p.device.commands, (Names{"stop qel", "close qel"}));
  EXPECT_EQ(p.window.position, 0);
  ASSERT_FALSE(p.desktop.progress.empty());
  EXPECT_EQ(p.desktop.progress.back(), (std::pair<long long, long long>{0, 100}));
  CheckInStep();
}

TEST_F(ListFixture, RemovingOtherRowsLeavesPlaybackAlone) {
  Fill({"/m/a", "/m/b", "/m/c", "/m/d"}, 2);
  p.window.selected = {0, 3};
  RemoveFromList(p.state);
  EXPECT_EQ(Rows(), (Names{"b", "c"}));
  EXPECT_EQ(p.state.currentIndex, 1);
  EXPECT_TRUE(p.device.commands.empty());
  CheckInStep();
}

TEST_F(ListFixture, RemovingTheCurrentLastRowMakesTheNewLastCurrent) {
  Fill({"/m/a", "/m/b", "/m/c"}, 2);
  p.window.selected = {2};
  RemoveFromList(p.state);
  EXPECT_EQ(p.state.currentIndex, 1);
  CheckInStep();
}

TEST_F(ListFixture, RemovingEveryRowLeavesTheTitleQel) {
  Fill({"/m/a", "/m/b", "/m/c"}, 1);
  p.state.panePicture = Picture{1, 1, {0, 0, 0, 0}};
  p.state.paneBackdrop = Picture{1, 1, {0, 0, 0, 0}};
  p.window.title = "b";
  SelectAll(p.state);
  EXPECT_EQ(Selected(), (std::set<int>{0, 1, 2}));
  RemoveFromList(p.state);
  EXPECT_TRUE(p.state.entries.empty());
  EXPECT_EQ(p.state.lastIndex, -1);
  EXPECT_EQ(p.state.currentIndex, -1);
  EXPECT_EQ(p.window.title, "Qel");
  EXPECT_EQ(p.state.savedTitle, "Qel");
  EXPECT_FALSE(p.state.panePicture);
  EXPECT_FALSE(p.state.paneBackdrop);
}

}  // namespace
}  // namespace qel
