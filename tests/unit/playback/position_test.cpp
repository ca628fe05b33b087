#include "core/playback/position.h"

#include <gtest/gtest.h>

#include "core/playback/device.h"
#include "harness.h"

namespace qel::test {
namespace {

// A player whose entry 0 plays with a 95-second length.
struct Playing : MediaPlayer {
  Playing() : MediaPlayer(3) {
    state.relayoutPending = false;
    PlayEntry(state, state.entries[0], 0, 2);
    state.lengthSeconds = 95;
    device.Clear();
  }
};

TEST(PositionTimer, FollowsThePlayingDevice) {
  Playing p;
  p.model.positionMs = 62000;
  OnPositionTimer(p.state);
  EXPECT_EQ(p.device.commands, (std::vector<std::string>{"status qel mode", "status qel position"}));
  EXPECT_EQ(p.window.position, 620);
  EXPECT_EQ(p.window.timeText, "01:02 / 01:35");
  EXPECT_EQ(p.desktop.progress.back(), std::make_pair(62LL, 95LL));

  // Paused: nothing moves.
  p.model.mode = "paused";
  p.model.positionMs = 70000;
  p.device.Clear();
  OnPositionTimer(p.state);
  EXPECT_EQ(p.device.commands, (std::vector<std::string>{"status qel mode"}));
  EXPECT_EQ(p.window.position, 620);
}

TEST(PositionTimer, EndDetectedFromThePositionAdvances) {
  for (long long ms : {95000LL, 95999LL, 400000LL}) {
    Playing p;
    p.model.positionMs = ms;
    OnPositionTimer(p.state);
    EXPECT_EQ(p.state.currentIndex, 1) << ms;
    EXPECT_EQ(p.OpenIndex(), 1) << ms;
  }
  {  // a length of 0 ends at the first tick while playing
    Playing p;
    p.state.lengthSeconds = 0;
    OnPositionTimer(p.state);
    EXPECT_EQ(p.OpenIndex(), 1);
  }
  {  // just below the length the file goes on
    Playing p;
    p.model.positionMs = 94999;
    OnPositionTimer(p.state);
    EXPECT_EQ(p.OpenIndex(), 0);
    EXPECT_EQ(p.window.timeText, "01:34 / 01:35");
  }
}

TEST(PositionTimer, PendingRelayoutReselectsTheCurrentRowFirst) {
  Playing p;
  p.state.currentIndex = 2;
  p.state.relayoutPending = true;
  p.window.selected = {0, 1};
  p.model.mode = "paused";
  OnPositionTimer(p.state);
  EXPECT_EQ(p.window.selected, (std::set<int>{2}));
  EXPECT_EQ(p.window.topRow, 2);
  EXPECT_FALSE(p.state.relayoutPending);
  EXPECT_EQ(p.window.relayouts, 1);
  EXPECT_EQ(p.window.listRedraws, 1);

  MediaPlayer empty(0);
  OnPositionTimer(empty.state);
  EXPECT_TRUE(empty.device.commands.empty());
  EXPECT_TRUE(empty.state.relayoutPending);
}

TEST(PositionSlider, DragShowsTheTimeAndReleaseSeeks) {
  Playing p;
  p.window.timerRunning = true;
  OnPositionSlider(p.state, kSliderThumbTrack, 615, 0, {});
  EXPECT_EQ(p.window.timeText, "01:01 / 01:35");
  EXPECT_FALSE(p.window.timerRunning);
  EXPECT_EQ(p.device.commands, (std::vector<std::string>{"status qel mode"}));

  p.window.position = 615;  // where the slider's thumb was let go
  p.device.Clear();
  OnPositionSlider(p.state, kSliderThumbPosition, 615, 0, {});
  EXPECT_EQ(p.device.commands, (std::vector<std::string>{"status qel mode", "pause qel", "seek qel to 61000",
                                                         "resume qel", "play qel notify"}));
  OnPositionSlider(p.state, kSliderEndTrack, 615, 0, {});
  EXPECT_TRUE(p.window.timerRunning);
  EXPECT_EQ(p.window.timerPeriod, 100);
}

TEST(PositionSlider, OtherCodesByDeviceMode) {
  struct Case {
    const char* mode;
    int position;
    std::vector<std::string> after;  // commands after the mode query
    int slider;
  } cases[] = {
      {"paused", 300, {"pause qel", "seek qel to 30000", "resume qel", "play qel notify", "pause qel"}, 300},
      {"playing", 305, {"pause qel", "seek qel to 30000", "resume qel", "play qel notify"}, 305},
      {"stopped", 300, {}, 0},
      {"", 300, {}, 0},
  };
  for (int code : {kSliderLineUp, kSliderLineDown, kSliderThumbPosition, kSliderTop, kSliderBottom}) {
    for (const auto& c : cases) {
      Playing p;
      p.model.mode = c.mode;
      p.window.position = c.position;
      OnPositionSlider(p.state, code, 0, 0, {});
      std::vector<std::string> expected{"status qel mode"};
      expected.insert(expected.end(), c.after.begin(), c.after.end());
      EXPECT_EQ(p.device.commands, expected) << c.mode << " code " << code;
      EXPECT_EQ(p.window.position, c.slider) << c.mode;
      if (std::string(c.mode) == "stopped") {
        EXPECT_EQ(p.desktop.progress.back(), std::make_pair(0LL, 0LL));
      }
    }
  }
}

TEST(PositionSlider, ReleaseAtTheEndStartsTheNextEntry) {
  Playing p;
  p.window.position = 950;
  OnPositionSlider(p.state, kSliderThumbPosition, 950, 0, {});
  EXPECT_EQ(p.OpenIndex(), 1);
}

TEST(PositionSlider, ChannelClickJumpsThereAndPlays) {
  Playing p;
  p.model.mode = "paused";
  // Channel from 109 to 209 (margins of 9): the middle is half the length.
  OnPositionSlider(p.state, kSliderPageDown, 0, 159, Rect{100, 0, 218, 20});
  EXPECT_EQ(p.window.position, 475);
  EXPECT_EQ(p.device.commands,
            (std::vector<std::string>{"status qel mode", "pause qel", "seek qel to 47500", "play qel notify"}));
  EXPECT_EQ(p.model.mode, "playing");
  p.device.Clear();
  OnPositionSlider(p.state, kSliderPageUp, 0, 109, Rect{100, 0, 218, 20});
  EXPECT_EQ(p.window.position, 0);
  // A degenerate slider rectangle does not divide by zero.
  OnPositionSlider(p.state, kSliderPageUp, 0, 50, Rect{0, 0, 18, 20});
  EXPECT_EQ(p.window.position, 0);
}

TEST(SeekBySeconds, StepsAndTheirLimits) {
  struct Case {
    int position, step;
    int seconds;  // -1: nothing sent
  } cases[] = {
      {940, 1, -1},   {930, 1, 94},    {840, 10, 94},   {841, 10, -1},  {30, -10, 0},   {621, -1, 62},
      {0, 600, -1},   {0, 60, 60},     {350, 60, -1},   {950, -600, 0}, {600, -60, 0},  {610, -60, 1},
  };
  for (const auto& c : cases) {
    Playing p;
    p.window.position = c.position;
    SeekBySeconds(p.state, c.step);
    if (c.seconds < 0) {
      EXPECT_EQ(p.device.commands, (std::vector<std::string>{"status qel mode"})) << c.position << " " << c.step;
      continue;
    }
    EXPECT_EQ(p.device.commands, (std::vector<std::string>{"status qel mode",
                                                           "seek qel to " + std::to_string(c.seconds * 1000),
                                                           "play qel notify"}))
        << c.position << " " << c.step;
    EXPECT_EQ(p.window.position, c.seconds * 10);
    EXPECT_EQ(p.window.timeText, FormatTime(c.seconds, 95));
  }
}

TEST(SeekToTenth, TenthsOfTheLengthOnlyWhilePlaying) {
  Playing p;
  SeekToTenth(p.state, 5);
  EXPECT_TRUE(p.device.Sent("seek qel to 45000"));
  EXPECT_EQ(p.window.timeText, "00:45 / 01:35");
  SeekToTenth(p.state, 9);
  EXPECT_TRUE(p.device.Sent("seek qel to 81000"));
  p.model.mode = "paused";
  p.device.Clear();
  SeekToTenth(p.state, 3);
  SeekBySeconds(p.state, -10);
  EXPECT_EQ(p.device.commands, (std::vector<std::string>{"status qel mode", "status qel mode"}));
}

TEST(ReadDecimal, LeadingDigitsElseZero) {
  struct Case {
    const char* text;
    long long value;
  } cases[] = {{"62000", 62000}, {" 17ms", 17}, {"", 0}, {"abc", 0}, {"-40", -40}, {"99999999999999999999", 2147483647}};
  for (const auto& c : cases) EXPECT_EQ(ReadDecimal(c.text), c.value) << c.text;
}

TEST(RefreshPositionDisplay, RangeFromTheMeasuredLengthAndPositionFromTheDevice) {
  Playing p;
  p.device.On("status Qel_ length", {0, "61500"});  // the device's probe: 61.5 s
  p.model.positionMs = 12345;
  p.state.lengthSeconds = 999;
  RefreshPositionDisplay(p.state);
  EXPECT_EQ(p.state.lengthSeconds, 62);
  EXPECT_EQ(p.window.positionMin, 0);
  EXPECT_EQ(p.window.positionMax, 620);
  EXPECT_EQ(p.window.position, 123);
  EXPECT_EQ(p.desktop.progress.back(), std::make_pair(12LL, 62LL));
}

TEST(UpdateLengthSeconds, MeasuresEachEntryOnceUntilTheEntryChanges) {
  Playing p;
  p.device.On("status Qel_ length", {0, "61500"});  // the first probe's answer,
  p.device.On("status Qel_ length", {0, "7000"});   // then every later one's
  const std::string probe = "open \"" + p.Path(0) + "\" alias Qel_ type mpegvideo shareable";
  for (int i = 0; i < 3; ++i) UpdateLengthSeconds(p.state);
  EXPECT_EQ(p.device.Count(probe), 1);
  EXPECT_EQ(p.state.lengthSeconds, 62);
  p.state.currentIndex = 1;
  UpdateLengthSeconds(p.state);
  UpdateLengthSeconds(p.state);
  EXPECT_EQ(p.state.lengthSeconds, 7);
  EXPECT_EQ(p.device.Count("status Qel_ length"), 2);
  // The same row holding another file (a rename) is measured anew.
  p.state.entries[1].path = p.folder.Touch("renamed.mp3");
  UpdateLengthSeconds(p.state);
  EXPECT_EQ(p.device.Count("status Qel_ length"), 3);
  // Without a current entry the length stays.
  p.state.currentIndex = -1;
  UpdateLengthSeconds(p.state);
  EXPECT_EQ(p.state.lengthSeconds, 7);
  EXPECT_EQ(p.device.Count("status Qel_ length"), 3);
}

}  // namespace
}  // namespace qel::test
