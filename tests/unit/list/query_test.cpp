#include "core/list/query.h"

#include <gtest/gtest.h>

#include "core/app/commands.h"
#include "core/list/list.h"
#include "fakes/fakes.h"

namespace qel {
namespace {

using test::FakePlayer;
using Names = std::vector<std::string>;

TEST(MatchesQuery, WordsExclusionsAndOr) {
  struct Case {
    const char* query;
    bool home, studio, demo;  // "Live at Home", "Studio Take", "live demo"
  } cases[] = {
      {"live", false, false, true},
      {"OR Live Studio", true, true, false},
      {"-Take", true, false, true},
      {"Live -Home", false, false, false},
      {"or live demo", false, false, true},     // the keyword ignores case
      {"Or Home Take", true, true, false},
      {"OR", false, false, false},              // OR alone matches nothing
      {"OR -Take", false, false, false},        // no exclusion after OR: "-Take" itself
      {"live OR", false, false, false},         // a later OR is a word
      {"", true, true, true},
      {"   ", true, true, true},
      {"  at   Home  ", true, false, false},    // runs of blanks are one separator
      {"-", false, false, false},               // a lone "-" excludes everything
      {"*", false, false, false},               // an ordinary word here
      {"e", true, true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesQuery("Live at Home", c.query), c.home) << c.query;
    EXPECT_EQ(MatchesQuery("Studio Take", c.query), c.studio) << c.query;
    EXPECT_EQ(MatchesQuery("live demo", c.query), c.demo) << c.query;
  }
  EXPECT_TRUE(MatchesQuery("曲 ライブ", "ライブ"));
  EXPECT_FALSE(MatchesQuery("曲 ライブ", "OR らいぶ スタジオ"));
}

struct FilterFixture : ::testing::Test {
  FakePlayer p;
  void Fill(int current) {
    p.state.entries = {{"/m/1.mp3", "Live at Home", 0},
                       {"/m/2.mp3", "Studio Take", 1},
                       {"/m/3.mp3", "live demo", 2},
                       {"/m/4.wav", "", 3},
                       {"/m/5.mp3", "", 4}};
    p.state.lastIndex = 4;
    p.state.currentIndex = current;
    p.state.settings.NoExt = true;
    for (const auto& e : p.state.entries) p.window.rows.push_back(DisplayText(p.state, e));
  }
};

TEST_F(FilterFixture, KeepsMatchesAndTheCurrentFile) {
  Fill(2);
  EXPECT_TRUE(FilterList(p.state, "OR live .wav"));
  EXPECT_EQ(p.window.rows, (Names{"live demo", "4"}));
  EXPECT_EQ(p.state.currentIndex, 0);
  EXPECT_EQ(p.state.lastIndex, 1);
  EXPECT_EQ(p.state.entries[1].order, 1);
  EXPECT_TRUE(p.device.commands.empty());
}

TEST_F(FilterFixture, EmptyTitlesMatchOnTheFileNameWithExtension) {
  Fill(0);
  FilterList(p.state, ".mp3");  // extensions hidden in the rows, still matched
  EXPECT_EQ(p.window.rows, (Names{"5"}));
  EXPECT_EQ(p.state.entries[0].path, "/m/5.mp3");
}

TEST_F(FilterFixture, RemovingThePlayingEntryStopsAndTheFirstBecomesCurrent) {
  Fill(1);
  FilterList(p.state, "-Take");
  EXPECT_EQ(p.state.entries.size(), 4u);
  EXPECT_EQ(p.state.currentIndex, 0);
  EXPECT_TRUE(p.device.Sent("status qel mode"));  // StopPlayback asked the device
  EXPECT_EQ(p.window.rows.size(), 4u);
}

TEST_F(FilterFixture, FilteringEverythingAwayLeavesPlaybackAlone) {
  Fill(3);
  p.state.panePicture = Picture{1, 1, {0, 0, 0, 0}};
  EXPECT_TRUE(FilterList(p.state, "nothing-like-this"));
  EXPECT_TRUE(p.state.entries.empty());
  EXPECT_TRUE(p.window.rows.empty());
  EXPECT_EQ(p.state.lastIndex, -1);
  EXPECT_EQ(p.state.currentIndex, -1);
  EXPECT_EQ(p.state.savedTitle, "Qel");
  EXPECT_FALSE(p.state.panePicture);
  EXPECT_TRUE(p.device.commands.empty());
}

TEST_F(FilterFixture, AnEmptyQueryChangesNothing) {
  Fill(3);
  EXPECT_FALSE(FilterList(p.state, ""));
  EXPECT_EQ(p.state.entries.size(), 5u);
  EXPECT_EQ(p.window.rows.size(), 5u);
}

TEST_F(FilterFixture, JumpSearchWrapsAndNeverAnswersTheCurrentEntry) {
  Fill(2);
  EXPECT_EQ(FindJumpTarget(p.state, 2, "OR Live Studio"), 0);  // wraps to the start
  EXPECT_EQ(FindJumpTarget(p.state, 0, "OR Live Studio"), 1);
  EXPECT_EQ(FindJumpTarget(p.state, 2, "demo"), -1);           // only the current matches
  EXPECT_EQ(FindJumpTarget(p.state, 2, ".mp3"), 4);
  EXPECT_EQ(FindJumpTarget(p.state, 4, ".mp3"), -1);
  EXPECT_EQ(FindJumpTarget(p.state, 0, ""), -1);
  EXPECT_EQ(FindJumpTarget(p.state, -1, "Live"), 0);           // nothing current yet
  AppState empty;
  EXPECT_EQ(FindJumpTarget(empty, -1, "x"), -1);
}


// The dialogs' answers and the three commands over them.
TEST_F(FilterFixture, TheDialogsKeepTheirQueryForJumpAgain) {
  Fill(0);
  p.window.queryAnswers = {std::string("OR live Studio")};
  HandleCommand(p.state, 4700, 0);  // filter: the first two of the three
  EXPECT_EQ(p.window.queryDialogs, std::vector<QueryKind>{QueryKind::Filter});
  EXPECT_EQ(p.window.rows, (Names{"Studio Take", "live demo"}));
  EXPECT_EQ(p.state.queryText, "OR live Studio");
  p.state.currentIndex = 0;
  HandleCommand(p.state, 4900, 0);  // jump again with the filter's query
  EXPECT_EQ(p.state.currentIndex, 1);
  EXPECT_EQ(p.window.selected, std::set<int>{1});  // the hit's row follows
  HandleCommand(p.state, 4900, 0);
  EXPECT_EQ(p.state.currentIndex, 0);  // round to the start

  // The close box keeps the query; the jump runs with it.
  HandleCommand(p.state, 4800, 0);
  EXPECT_EQ(p.state.queryText, "OR live Studio");
  EXPECT_EQ(p.state.currentIndex, 1);
  // Cancel (or Escape) clears it: jump again finds nothing after it.
  p.window.queryAnswers = {std::string()};
  HandleCommand(p.state, 4800, 0);
  EXPECT_EQ(p.state.queryText, "");
  HandleCommand(p.state, 4900, 0);
  EXPECT_EQ(p.state.currentIndex, 1);
  // A cancelled filter changes nothing.
  p.window.queryAnswers = {std::string()};
  HandleCommand(p.state, 4700, 0);
  EXPECT_EQ(p.window.rows.size(), 2u);
  EXPECT_EQ(p.window.queryDialogs.size(), 4u);
}

TEST_F(FilterFixture, AJumpToTheOnlyMatchThatIsCurrentDoesNothing) {
  Fill(2);
  p.window.queryAnswers = {std::string("demo")};
  p.device.Clear();
  DispatchCommand(p.state, 4800, 0);
  EXPECT_EQ(p.state.currentIndex, 2);
  EXPECT_TRUE(p.device.commands.empty());
}

}  // namespace
}  // namespace qel
