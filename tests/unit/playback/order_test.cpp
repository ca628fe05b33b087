#include "core/playback/order.h"

#include <gtest/gtest.h>

#include <set>

#include "core/list/order.h"
#include "core/playback/device.h"
#include "harness.h"

namespace qel::test {
namespace {

TEST(SetPlayMode, MenuItemsChecksAndIcons) {
  struct Case {
    int item;
    PlayMode mode;
    int icon;
  } cases[] = {{2500, PlayMode::Order, 114}, {2600, PlayMode::Random, 115}, {2700, PlayMode::Single, 116},
               {3000, PlayMode::One, 126}};
  for (const auto& c : cases) {
    FakePlayer p;
    SetPlayMode(p.state, c.item);
    EXPECT_EQ(p.state.playMode, c.mode);
    EXPECT_EQ(p.window.buttonIcons[1011], c.icon);
    for (int item : {2500, 2600, 2700, 3000}) EXPECT_EQ(p.window.menuChecks[item], item == c.item) << item;
    // Any other item leaves the order and shows it again.
    SetPlayMode(p.state, 1234);
    EXPECT_EQ(p.state.playMode, c.mode);
    EXPECT_EQ(p.window.buttonIcons[1011], c.icon);
  }
}

TEST(CyclePlayMode, EndKeyGoesRoundAndRenumbers) {
  MediaPlayer p(4);
  p.state.shuffleSeed = 7;
  p.state.currentIndex = 2;
  const PlayMode expected[] = {PlayMode::Random, PlayMode::Single, PlayMode::One, PlayMode::Order};
  const int icons[] = {115, 116, 126, 114};
  p.state.menuShown = true;
  for (int i = 0; i < 4; ++i) {
    CyclePlayMode(p.state);
    EXPECT_EQ(p.state.playMode, expected[i]);
    EXPECT_EQ(p.window.buttonIcons[1011], icons[i]);
    EXPECT_FALSE(p.state.menuShown);
    if (expected[i] == PlayMode::Random) {
      EXPECT_EQ(p.state.entries[2].order, 0);
    }
    if (expected[i] == PlayMode::Single) {
      for (int e = 0; e < 4; ++e) EXPECT_EQ(p.state.entries[e].order, e);
    }
  }
}

// The entry played after each end of a file, starting from `start`.
std::vector<int> EndsOfFiles(MediaPlayer& p, int start, int count) {
  p.state.currentIndex = start;
  ListEntry entry = p.state.entries[start];
  PlayEntry(p.state, entry, start, p.state.lastIndex);
  std::vector<int> played;
  for (int i = 0; i < count; ++i) {
    OnPlaybackNotify(p.state, kNotifySuccessful);
    played.push_back(p.OpenIndex());
  }
  return played;
}

TEST(AdvancePlayback, OrderWrapsAfterTheLastEntry) {
  MediaPlayer p(3);
  EXPECT_EQ(EndsOfFiles(p, 1, 4), (std::vector<int>{2, 0, 1, 2}));
  EXPECT_EQ(p.state.currentIndex, 2);
  EXPECT_EQ(p.window.selected, (std::set<int>{2}));
}

TEST(AdvancePlayback, OneEndsThePassAndTheNextPressStartsAgain) {
  MediaPlayer p(3);
  p.state.playMode = PlayMode::One;
  EXPECT_EQ(EndsOfFiles(p, 1, 1), (std::vector<int>{2}));
  p.device.Clear();
  OnPlaybackNotify(p.state, kNotifySuccessful);
  EXPECT_EQ(p.OpenIndex(), -1) << "the device is closed and nothing opens";
  EXPECT_EQ(p.state.currentIndex, 2);
  EXPECT_TRUE(p.device.Sent("close qel"));
  EXPECT_TRUE(p.model.mode.empty());
  // A late notification of the closed device does nothing.
  p.device.Clear();
  OnPlaybackNotify(p.state, kNotifySuccessful);
  EXPECT_EQ(p.device.commands, (std::vector<std::string>{"status qel mode"}));
  // Next by the user plays the first entry.
  AdvancePlayback(p.state, true, true, p.state.currentIndex);
  EXPECT_EQ(p.OpenIndex(), 0);
  EXPECT_EQ(p.state.currentIndex, 0);
}

TEST(AdvancePlayback, SingleRepeatsWhileUserStepsMoveOn) {
  MediaPlayer p(3);
  p.state.playMode = PlayMode::Single;
  EXPECT_EQ(EndsOfFiles(p, 1, 3), (std::vector<int>{1, 1, 1}));
  AdvancePlayback(p.state, true, true, 1);
  EXPECT_EQ(p.OpenIndex(), 2);
  AdvancePlayback(p.state, true, true, 2);
  EXPECT_EQ(p.OpenIndex(), 0);
  AdvancePlayback(p.state, false, true, 0);
  EXPECT_EQ(p.OpenIndex(), 2);
}

TEST(AdvancePlayback, BackwardWrapsToTheLastEntry) {
  MediaPlayer p(4);
  p.state.currentIndex = 0;
  AdvancePlayback(p.state, false, true, 0);
  EXPECT_EQ(p.state.currentIndex, 3);
  EXPECT_EQ(p.OpenIndex(), 3);
  AdvancePlayback(p.state, false, true, 3);
  EXPECT_EQ(p.OpenIndex(), 2);
}

TEST(AdvancePlayback, RandomRepeatsTheSameShuffle) {
  MediaPlayer p(5);
  p.state.playMode = PlayMode::Random;
  const int orders[] = {3, 0, 4, 1, 2};  // entry 1 was current at the shuffle
  for (int i = 0; i < 5; ++i) p.state.entries[i].order = orders[i];
  std::vector<int> played = EndsOfFiles(p, 1, 10);
  EXPECT_EQ(played, (std::vector<int>{3, 4, 0, 2, 1, 3, 4, 0, 2, 1}));
  // Random keeps the current row at the top.
  EXPECT_EQ(p.window.topRow, 1);
}

TEST(AdvancePlayback, IgnoreErrorTriesEveryEntryOnceAndSaysSoOnce) {
  MediaPlayer p(5);
  p.state.settings.IgnoreError = true;
  for (int i = 0; i < 5; ++i) p.model.unplayable.insert(p.Path(i));
  p.state.currentIndex = 3;
  ASSERT_EQ(PlayEntry(p.state, p.state.entries[3], 3, 4), 1);
  p.model.attempts.clear();
  AdvancePlayback(p.state, true, false, 3);
  EXPECT_EQ(p.Attempts(), (std::vector<int>{4, 0, 1, 2, 3}));
  EXPECT_EQ(p.MessageCount(kNoSupportedFile), 1);
  EXPECT_EQ(p.window.messages.size(), 1u);
  EXPECT_EQ(p.window.messages[0].caption, "Qel");
  EXPECT_TRUE(p.window.messages[0].owned);
  EXPECT_EQ(p.window.relayouts, 5) << "each attempt has its own layout refresh";
}

TEST(AdvancePlayback, SkippingGoesForwardAndStopsWhereTheRulesSay) {
  {  // a backward step onto an unplayable entry continues forward
    MediaPlayer p(4);
    p.state.settings.IgnoreError = true;
    p.model.unplayable.insert(p.Path(1));
    p.state.currentIndex = 2;
    AdvancePlayback(p.state, false, true, 2);
    EXPECT_EQ(p.Attempts(), (std::vector<int>{1, 2}));
    EXPECT_EQ(p.OpenIndex(), 2);
    EXPECT_TRUE(p.window.messages.empty());
  }
  {  // ONE: an unplayable last entry ends with the message after earlier ones played
    MediaPlayer p(3);
    p.state.playMode = PlayMode::One;
    p.state.settings.IgnoreError = true;
    p.model.unplayable.insert(p.Path(2));
    EndsOfFiles(p, 0, 2);
    EXPECT_EQ(p.Attempts(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(p.MessageCount(kNoSupportedFile), 1);
  }
  {  // SINGLE: the start entry itself fails, so the message comes at once
    MediaPlayer p(3);
    p.state.playMode = PlayMode::Single;
    p.state.settings.IgnoreError = true;
    p.model.unplayable.insert(p.Path(1));
    p.state.currentIndex = 1;
    AdvancePlayback(p.state, true, false, 1);
    EXPECT_EQ(p.Attempts(), (std::vector<int>{1}));
    EXPECT_EQ(p.MessageCount(kNoSupportedFile), 1);
  }
  {  // order numbers that are not a permutation still end
    MediaPlayer p(4);
    p.state.settings.IgnoreError = true;
    for (int i = 0; i < 4; ++i) p.model.unplayable.insert(p.Path(i));
    for (auto& e : p.state.entries) e.order = 1;
    p.state.currentIndex = 0;
    AdvancePlayback(p.state, true, true, 0);
    EXPECT_LE(p.Attempts().size(), 5u);
    EXPECT_EQ(p.MessageCount(kNoSupportedFile), 1);
  }
  {  // without IgnoreError an unplayable entry is reported and nothing advances
    MediaPlayer p(3);
    p.model.unplayable.insert(p.Path(1));
    AdvancePlayback(p.state, true, true, 0);
    EXPECT_EQ(p.Attempts(), (std::vector<int>{1}));
    EXPECT_EQ(p.state.currentIndex, 1);
    EXPECT_EQ(p.window.messages.size(), 1u);
  }
}

TEST(OnPlaybackNotify, AbortedClosesOnlyAStoppedDevice) {
  MediaPlayer p(2);
  PlayEntry(p.state, p.state.entries[0], 0, 1);
  p.window.position = 50;
  p.device.Clear();
  OnPlaybackNotify(p.state, kNotifyAborted);
  EXPECT_EQ(p.device.commands, (std::vector<std::string>{"status qel mode"}));
  EXPECT_EQ(p.window.position, 50);
  p.model.mode = "stopped";
  OnPlaybackNotify(p.state, kNotifyAborted);
  EXPECT_EQ(p.window.position, 0);
  EXPECT_EQ(p.desktop.progress.back(), std::make_pair(0LL, 100LL));
  EXPECT_TRUE(p.model.mode.empty());
  p.device.Clear();
  OnPlaybackNotify(p.state, kNotifySuperseded);
  EXPECT_TRUE(p.device.commands.empty());
}

TEST(OnPlaybackNotify, SuccessResetsTheSliderForTheNextEntry) {
  MediaPlayer p(2);
  PlayEntry(p.state, p.state.entries[0], 0, 1);
  p.window.position = 700;
  p.state.lengthSeconds = -5;
  // The length reader asks the device's probe about the next entry only.
  p.device.On("open \"" + p.Path(1) + "\" alias Qel_ type mpegvideo shareable", {0, ""});
  p.device.On("status Qel_ length", {0, "41200"});
  OnPlaybackNotify(p.state, kNotifySuccessful);
  EXPECT_EQ(p.state.currentIndex, 1);
  EXPECT_EQ(p.OpenIndex(), 1);
  EXPECT_EQ(p.window.position, 0);
  EXPECT_EQ(p.state.lengthSeconds, 42);
  EXPECT_EQ(p.window.positionMax, 420);
  EXPECT_EQ(p.desktop.progress.back(), std::make_pair(0LL, 42LL));
}

TEST(OnPlaybackNotify, AFailureEndsTheFileAsItsEndWould) {
  MediaPlayer p(3);
  PlayEntry(p.state, p.state.entries[0], 0, 2);
  OnPlaybackNotify(p.state, kNotifyFailure);
  EXPECT_EQ(p.state.currentIndex, 1);
  EXPECT_EQ(p.OpenIndex(), 1);
  EXPECT_EQ(p.model.mode, "playing");
  // Of a device closed meanwhile it says nothing.
  StopPlayback(p.state, 0);
  OnPlaybackNotify(p.state, kNotifyFailure);
  EXPECT_EQ(p.OpenIndex(), -1);
}

TEST(FollowCurrentRow, ScrollsOneRowOrToTheTopAndSelectsOnlyIt) {
  FakePlayer p;
  for (int i = 0; i < 40; ++i) p.window.rows.push_back(std::to_string(i));
  p.window.clientHeight = 160;  // ten rows
  p.window.selected = {1, 2, 3};
  FollowCurrentRow(p.state, 9, PlayMode::Order, false);
  EXPECT_EQ(p.window.topRow, 0);
  FollowCurrentRow(p.state, 10, PlayMode::Order, false);
  EXPECT_EQ(p.window.topRow, 1);
  EXPECT_EQ(p.window.selected, (std::set<int>{10}));
  FollowCurrentRow(p.state, 30, PlayMode::Random, true);
  EXPECT_EQ(p.window.topRow, 2);
  FollowCurrentRow(p.state, 30, PlayMode::Random, false);
  EXPECT_EQ(p.window.topRow, 30);
  EXPECT_EQ(p.window.selected, (std::set<int>{30}));
}

TEST(JumpToRandomEntry, ReachesEveryEntryAndNothingOnAnEmptyList) {
  MediaPlayer p(5);
  p.state.randomJumpState = 12345;
  std::set<int> reached;
  for (int i = 0; i < 200; ++i) {
    JumpToRandomEntry(p.state);
    ASSERT_GE(p.state.currentIndex, 0);
    ASSERT_LT(p.state.currentIndex, 5);
    EXPECT_EQ(p.OpenIndex(), p.state.currentIndex);
    reached.insert(p.state.currentIndex);
  }
  EXPECT_EQ(reached.size(), 5u);

  MediaPlayer empty(0);
  JumpToRandomEntry(empty.state);
  EXPECT_TRUE(empty.device.commands.empty());
  EXPECT_EQ(empty.state.currentIndex, -1);
}

}  // namespace
}  // namespace qel::test
