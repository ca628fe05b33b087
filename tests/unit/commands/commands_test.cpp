#include "core/app/commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "../playback/harness.h"
#include "core/app/hotkeys.h"
#include "core/playback/device.h"
#include "core/playback/order.h"
#include "core/playback/position.h"
#include "core/playback/volume.h"
#include "core/settings/settings.h"
#include "fakes/files.h"

namespace qel::test {
namespace {

TEST(CommandTable, KnownNumbersAreHandledOthersAreNot) {
  const int known[] = {13, 27, 33, 34, 35, 36, 45, 106, 107, 109, 1000, 1001, 1004, 1005, 1006, 1007, 1008, 1011,
                       1012, 1013, 1100, 1200, 1400, 1500, 1600, 1700, 1800, 1900, 2000, 2100, 2400, 2410, 2420, 2430, 2500, 2600,
                       2700, 2800, 2900, 3000, 3100, 3400, 3500, 3700, 3800, 4000, 4100, 4200, 4300, 4400, 4500,
                       4600, 4700, 4800, 4900, 5000, 5100, 40003, 40005, 40007, 40008, 40010, 40012, 40014, 40017,
                       40019, 40021, 40023, 40024, 40025, 40026, 40028, 41000, 41001, 41002, 41003, 41004, 41005,
                       41006, 41007, 41008, 41009};
  auto numbers = CommandNumbers();
  EXPECT_TRUE(std::equal(std::begin(known), std::end(known), numbers.begin(), numbers.end()));
  for (int n : known) {
    MediaPlayer p(0);
    EXPECT_EQ(DispatchCommand(p.state, n, 0), 1) << n;
  }
  for (int n : {0, 14, 1002, 1003, 2200, 41010, 99999, -1}) {
    MediaPlayer p(2);
    EXPECT_EQ(HandleCommand(p.state, n, 0), 0) << n;
    EXPECT_TRUE(p.state.stopRows);
  }
}

TEST(CommandTable, SettingTogglesFlipTheFlagAndItsCheckMark) {
  struct Case {
    int command;
    bool Settings::*flag;
  } cases[] = {{1900, &Settings::SearchSubFolder}, {40012, &Settings::SingleClickMode}, {40017, &Settings::NoExt},
               {40007, &Settings::ShowBitmapList},  {40008, &Settings::ShowBitmapText},  {40026, &Settings::ShowText},
               {40010, &Settings::CenterText},      {3800, &Settings::IgnoreError},      {40028, &Settings::DarkMode},
               {40003, &Settings::NoStandby},       {40005, &Settings::NoDisplayOff},    {2400, &Settings::MasterVolume}};
  for (const auto& c : cases) {
    MediaPlayer p(2);
    bool before = p.state.settings.*c.flag;
    HandleCommand(p.state, c.command, 0);
    EXPECT_EQ(p.state.settings.*c.flag, !before) << c.command;
    EXPECT_EQ(p.window.menuChecks[c.command], !before) << c.command;
    HandleCommand(p.state, c.command, 0);
    EXPECT_EQ(p.state.settings.*c.flag, before) << c.command;
    EXPECT_EQ(p.window.menuChecks[c.command], before) << c.command;
  }
}

TEST(PlayCommand, SelectedRowDecidesBetweenPauseAndAnotherFile) {
  {
    MediaPlayer p(6);
    p.state.currentIndex = 2;
    HandleCommand(p.state, 1004, 0);
    ASSERT_EQ(p.OpenIndex(), 2);
    p.window.selected = {5};
    HandleCommand(p.state, 1004, 0);
    EXPECT_EQ(p.OpenIndex(), 5);
    EXPECT_EQ(p.state.currentIndex, 5);
    EXPECT_EQ(p.model.mode, "playing");
    p.window.selected = {5};
    HandleCommand(p.state, 1004, 0);
    EXPECT_EQ(p.model.mode, "paused");
    // Paused with another row selected: 1004 plays that row.
    p.window.selected = {1};
    HandleCommand(p.state, 1004, 0);
    EXPECT_EQ(p.OpenIndex(), 1);
    EXPECT_EQ(p.model.mode, "playing");
  }
  {  // Enter in the same state resumes the paused file but moves currentIndex
    MediaPlayer p(6);
    p.state.currentIndex = 2;
    HandleCommand(p.state, 1004, 0);
    HandleCommand(p.state, 1004, 0);
    ASSERT_EQ(p.model.mode, "paused");
    p.window.selected = {4};
    HandleCommand(p.state, 13, 0);
    EXPECT_EQ(p.model.mode, "playing");
    EXPECT_EQ(p.OpenIndex(), 2);
    EXPECT_EQ(p.state.currentIndex, 4);
    // Enter while playing stops and restores the saved title.
    p.state.savedTitle = "saved";
    HandleCommand(p.state, 13, 0);
    EXPECT_TRUE(p.model.mode.empty());
    EXPECT_EQ(p.window.title, "saved");
  }
}

TEST(PlayCommand, IgnoreErrorWithEveryFileUnplayableFromEntryThree) {
  MediaPlayer p(5);
  p.state.settings.IgnoreError = true;
  for (int i = 0; i < 5; ++i) p.model.unplayable.insert(p.Path(i));
  p.state.currentIndex = 3;
  HandleCommand(p.state, 1004, 0);
  EXPECT_EQ(p.Attempts(), (std::vector<int>{3, 4, 0, 1, 2, 3}));
  EXPECT_EQ(p.MessageCount(kNoSupportedFile), 1);
  EXPECT_EQ(p.window.messages.size(), 1u);
}

TEST(TransportCommands, StopNextPreviousAndDoubleClick) {
  MediaPlayer p(3);
  HandleCommand(p.state, 1008, 0);
  EXPECT_EQ(p.OpenIndex(), 1);
  HandleCommand(p.state, 1007, 0);
  HandleCommand(p.state, 1007, 0);
  EXPECT_EQ(p.OpenIndex(), 2);
  HandleCommand(p.state, 1006, 0);
  EXPECT_TRUE(p.model.mode.empty());
  EXPECT_FALSE(p.window.timerRunning);
  p.window.selected = {1};
  HandleCommand(p.state, 1001, 1);
  EXPECT_TRUE(p.model.mode.empty()) << "only the double click plays";
  HandleCommand(p.state, 1001, 2);
  EXPECT_EQ(p.OpenIndex(), 1);
  EXPECT_TRUE(p.window.timerRunning);
  HandleCommand(p.state, 35, 0);
  EXPECT_EQ(p.state.playMode, PlayMode::Random);
  EXPECT_EQ(p.window.buttonIcons[1011], 115);
  EXPECT_EQ(p.state.entries[1].order, 0);
}

TEST(JumpAgain, PlaysTheNextHitOfTheStoredQueryAndWrapsPastTheCurrent) {
  MediaPlayer p(4);
  p.state.entries[1].title = "live one";
  p.state.entries[3].title = "live two";
  p.state.currentIndex = 1;
  HandleCommand(p.state, 4900, 0);
  EXPECT_EQ(p.OpenIndex(), -1) << "no stored query: nothing";
  p.state.queryText = "live";
  HandleCommand(p.state, 4900, 0);
  EXPECT_EQ(p.OpenIndex(), 3);
  EXPECT_EQ(p.state.currentIndex, 3);
  HandleCommand(p.state, 4900, 0);
  EXPECT_EQ(p.OpenIndex(), 1);
  p.state.queryText = "two";
  HandleCommand(p.state, 4900, 0);
  HandleCommand(p.state, 4900, 0);
  EXPECT_EQ(p.state.currentIndex, 3) << "the current entry itself is never a hit";
}

TEST(HandleCommand, RefreshesThePositionDisplayAfterAHandledCommand) {
  MediaPlayer p(2);
  HandleCommand(p.state, 1004, 0);
  p.model.positionMs = 4200;
  p.window.positionMax = -1;
  HandleCommand(p.state, 3800, 0);
  EXPECT_EQ(p.window.positionMax, p.state.lengthSeconds * 10);
  EXPECT_EQ(p.window.position, 42);
  MediaPlayer empty(0);
  empty.window.positionMax = -1;
  HandleCommand(empty.state, 3800, 0);
  EXPECT_EQ(empty.window.positionMax, -1);
}

TEST(HandleCommand, MeasuresTheCurrentEntryOnceNotOnEveryCommand) {
  MediaPlayer p(2);
  p.device.On("status Qel_ length", {0, "95000"});
  HandleCommand(p.state, 1004, 0);
  for (int command : {3800, 3800, 1012, 1012, 35, 35, 35, 35}) HandleCommand(p.state, command, 0);
  EXPECT_EQ(p.device.Count("status Qel_ length"), 1);
  EXPECT_EQ(p.window.positionMax, 950);
  // The file replaced under its name is another file, with its own length.
  WriteAll(p.Path(0), "a file of another size");
  HandleCommand(p.state, 3800, 0);
  EXPECT_EQ(p.device.Count("status Qel_ length"), 2);
  HandleCommand(p.state, 1008, 0);  // the next entry: measured once more
  HandleCommand(p.state, 3800, 0);
  EXPECT_EQ(p.device.Count("status Qel_ length"), 3);
  EXPECT_EQ(p.state.currentIndex, 1);
}

TEST(HandleCommand, TheLoudnessTagLevellingIsChosenKeptAndGivenToTheDevice) {
  TempDir dir;
  WriteAll(dir / "q.ini", "[SystemSetting]\nReplayGain=album\n");
  MediaPlayer p(1);
  p.state.iniPath = dir / "q.ini";
  LoadSettings(p.state);
  ASSERT_FALSE(p.device.replayGains.empty());
  EXPECT_EQ(p.device.replayGains.back(), ReplayGain::Album);
  EXPECT_TRUE(p.window.menuChecks[2430]);
  HandleCommand(p.state, 2420, 0);
  EXPECT_EQ(p.device.replayGains.back(), ReplayGain::Track);
  EXPECT_TRUE(p.window.menuChecks[2420]);
  EXPECT_FALSE(p.window.menuChecks[2430]);
  ASSERT_TRUE(SaveSettings(p.state));
  EXPECT_NE(ReadAll(dir / "q.ini").find("ReplayGain=TRACK\n"), std::string::npos);
  WriteAll(dir / "q.ini", "[SystemSetting]\nReplayGain=LOUD\n");
  LoadSettings(p.state);
  EXPECT_EQ(p.device.replayGains.back(), ReplayGain::Off) << "an unknown mode plays files at their level";
}

TEST(PageKeys, FocusDecidesWhoGetsTheKey) {
  MediaPlayer p(1);
  p.window.volumeBar = 50;
  p.window.focus = Control::ListBox;
  HandleCommand(p.state, 34, 0);
  EXPECT_EQ(p.window.forwardedKeys.back(), std::make_pair(Control::ListBox, 34));
  p.window.focus = Control::PaneEdit;
  HandleCommand(p.state, 33, 0);
  EXPECT_EQ(p.window.forwardedKeys.back(), std::make_pair(Control::PaneEdit, 33));
  p.window.focus = Control::MainWindow;
  HandleCommand(p.state, 33, 0);
  EXPECT_EQ(p.window.volumeBar, 55);
  EXPECT_EQ(p.state.volume, 550);
}

TEST(PowerSwitches, RequestsOnlyWhileAFileIsOpen) {
  MediaPlayer p(1);
  HandleCommand(p.state, 40003, 0);  // on, nothing open
  EXPECT_TRUE(p.desktop.powerCalls.empty());
  HandleCommand(p.state, 1004, 0);
  EXPECT_TRUE(p.desktop.powerSystem);
  HandleCommand(p.state, 40005, 0);  // display too, while playing
  EXPECT_TRUE(p.desktop.powerDisplay);
  HandleCommand(p.state, 40003, 0);  // standby off: display stays
  EXPECT_FALSE(p.desktop.powerSystem);
  EXPECT_TRUE(p.desktop.powerDisplay);
  HandleCommand(p.state, 1006, 0);
  HandleCommand(p.state, 40005, 0);  // off with nothing open: all cleared
  EXPECT_FALSE(p.desktop.powerSystem);
  EXPECT_FALSE(p.desktop.powerDisplay);
}

TEST(HotKeys, MediaKeysAndTheirCommonTail) {
  MediaPlayer p(3);
  p.state.settings.MasterVolume = false;
  p.window.volumeBar = 50;
  p.state.volume = 500;
  OnHotKey(p.state, kKeyPlayPause);
  EXPECT_EQ(p.OpenIndex(), 0);
  OnHotKey(p.state, kKeyPlayPause);
  EXPECT_EQ(p.model.mode, "paused");
  OnHotKey(p.state, kKeyNextTrack);
  EXPECT_EQ(p.OpenIndex(), 1);
  OnHotKey(p.state, kKeyPreviousTrack);
  EXPECT_EQ(p.OpenIndex(), 0);
  OnHotKey(p.state, kKeyVolumeUp);
  EXPECT_EQ(p.state.volume, 550);
  EXPECT_EQ(p.device.commands.back(), "setaudio qel volume to 550");
  EXPECT_EQ(p.window.positionMax, p.state.lengthSeconds * 10);
  OnHotKey(p.state, kKeyStop);
  EXPECT_TRUE(p.model.mode.empty());
}

// Row i names entry i: its file name, with or without the extension.
bool RowShowsEntry(const MediaPlayer& p, int i) {
  const std::string& path = p.state.entries[i].path;
  std::string name = path.substr(path.rfind('/') + 1);
  std::string base = name.substr(0, name.rfind('.'));
  return p.window.rows[i] == name || p.window.rows[i] == base;
}

// Long random sequences over lists of random sizes: what must always hold.
TEST(Invariants, HoldAfterEveryStep) {
  std::mt19937 rng(20261208);
  const auto numbers = CommandNumbers();
  for (int round = 0; round < 25; ++round) {
    int n = static_cast<int>(rng() % 9);
    MediaPlayer p(n);
    p.state.shuffleSeed = rng();
    p.state.randomJumpState = rng() | 1u;
    p.state.settings.IgnoreError = rng() % 2;
    p.state.settings.NoStandby = rng() % 2;
    p.state.settings.NoDisplayOff = rng() % 2;
    for (int i = 0; i < n; ++i)
      if (rng() % 3 == 0) p.model.unplayable.insert(p.Path(i));
    for (int step = 0; step < 300; ++step) {
      switch (rng() % 6) {
        case 0:
        case 1: {
          int command = numbers[rng() % numbers.size()];
          if (command == 27) break;
          if (n > 0 && rng() % 2) p.window.selected = {static_cast<int>(rng() % n)};
          HandleCommand(p.state, command, rng() % 3);
          break;
        }
        case 2: OnPlaybackNotify(p.state, rng() % 2 ? kNotifySuccessful : kNotifyAborted); break;
        case 3:
          p.model.positionMs = rng() % 200000;
          OnPositionTimer(p.state);
          break;
        case 4: OnPositionSlider(p.state, rng() % 9, rng() % 2000, rng() % 300, Rect{0, 0, 200, 20}); break;
        case 5:
          p.window.volumeBar = static_cast<int>(rng() % 140) - 20;
          OnVolumeSlider(p.state, rng() % 9, rng() % 300, Rect{0, 0, 118, 10});
          break;
      }
      ASSERT_EQ(p.window.RowCount(), static_cast<int>(p.state.entries.size()));
      for (int i = 0; i < p.window.RowCount(); ++i)
        ASSERT_TRUE(RowShowsEntry(p, i)) << "row " << i << ": " << p.window.rows[i];
      ASSERT_EQ(p.state.lastIndex, static_cast<int>(p.state.entries.size()) - 1);
      ASSERT_GE(p.state.currentIndex, -1);
      ASSERT_LT(p.state.currentIndex, static_cast<int>(p.state.entries.size()));
      if (!p.state.entries.empty()) {
        ASSERT_NE(p.state.currentIndex, -1);
      }
      std::vector<int> orders;
      for (const auto& e : p.state.entries) orders.push_back(e.order);
      std::sort(orders.begin(), orders.end());
      for (int i = 0; i < static_cast<int>(orders.size()); ++i) ASSERT_EQ(orders[i], i);
      ASSERT_GE(p.state.volume, 0);
      ASSERT_LE(p.state.volume, 1000);
      // Nothing open, nothing holds the machine awake: a removal, a stop,
      // the end of a single pass or a file that would not open.
      if (p.model.mode.empty())
        ASSERT_FALSE(p.desktop.powerSystem || p.desktop.powerDisplay) << "round " << round << " step " << step;
    }
  }
}

}  // namespace
}  // namespace qel::test
