#include "core/app/pane_mouse.h"

#include <gtest/gtest.h>

#include "fakes/fakes.h"

namespace qel::test {
namespace {

struct Clicks : FakePlayer {
  std::string mode = "playing";
  Clicks() {
    device.responder = [this](const std::string& command, FakeDevice::Reply& reply) {
      if (command == "status qel mode") reply.answer = mode;
      else if (command == "pause qel") mode = "paused";
      else if (command == "resume qel") mode = "playing";
      else return false;
      return true;
    };
  }
  void Click() {
    PaneLeftPress(state);
    PaneLeftRelease(state);
  }
};

TEST(PaneClick, PausesThenResumes) {
  Clicks p;
  p.Click();
  EXPECT_EQ(p.mode, "paused");
  EXPECT_TRUE(p.state.pausedByClick);
  p.Click();
  EXPECT_EQ(p.mode, "playing");
  EXPECT_FALSE(p.state.pausedByClick);
}

TEST(PaneClick, AMoveBetweenPressAndReleaseIsNoClick) {
  Clicks p;
  PaneLeftPress(p.state);
  PaneMouseMove(p.state, {5, 9});
  PaneLeftRelease(p.state);
  // The same place again is no movement.
  PaneLeftPress(p.state);
  PaneMouseMove(p.state, {5, 9});
  PaneLeftRelease(p.state);
  EXPECT_EQ(p.device.Count("pause qel"), 1);
}

TEST(PaneClick, NothingOpenSendsNoCommand) {
  Clicks p;
  p.mode = "";
  p.Click();
  EXPECT_FALSE(p.device.Sent("pause qel"));
  EXPECT_FALSE(p.device.Sent("resume qel"));
}

TEST(PaneDoubleClick, ResumesWhatItsFirstClickPausedThenCycles) {
  Clicks p;
  p.Click();  // the first click of the double click
  PaneLeftPress(p.state);  // the second press comes with the double click
  PaneDoubleClick(p.state, 400);
  PaneLeftRelease(p.state);
  EXPECT_EQ(p.mode, "playing");
  EXPECT_FALSE(p.state.pausedByClick);
  EXPECT_EQ(p.state.screenMode, 1);
}

TEST(MainWindowDoubleClick, OnTheSplitterTheListToggles) {
  Clicks p;
  p.state.splitterHot = true;
  p.state.settings.ListWidth = 0;
  p.state.settings.DefaultListWidth = 120;
  MainWindowDoubleClick(p.state, 400);
  EXPECT_EQ(p.state.settings.ListWidth, 120);
  EXPECT_EQ(p.state.screenMode, 0);
}

}  // namespace
}  // namespace qel::test
