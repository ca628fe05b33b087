#include "core/playback/video.h"

#include <gtest/gtest.h>

#include "fakes/fakes.h"

namespace qel::test {
namespace {

TEST(PictureDestination, FitFillOriginalAndMultiple) {
  struct Case {
    PictureSize picture;
    int W, H, mode;
    ViewSizeMode view;
    Rect destination;  // left, top, right, bottom
  } cases[] = {
      // fit: 1.25 wins over 1.667, bands above and below
      {{640, 360}, 800, 600, 1, ViewSizeMode::Zoom, {0, 75, 800, 525}},
      // fill: 1.667 wins, 1067 wide, centred toward zero at -133
      {{640, 360}, 800, 600, 4, ViewSizeMode::Zoom, {-133, 0, 934, 600}},
      // full screen fitted is the same rule as normal
      {{640, 360}, 800, 600, 3, ViewSizeMode::Zoom, {0, 75, 800, 525}},
      {{640, 360}, 400, 300, 1, ViewSizeMode::Original, {-120, -30, 520, 330}},
      {{200, 150}, 800, 600, 1, ViewSizeMode::Multiple, {0, 0, 800, 600}},
      {{200, 150}, 700, 600, 1, ViewSizeMode::Multiple, {50, 75, 650, 525}},
      // larger than the pane: MULTIPLE still shows it once
      {{640, 360}, 400, 300, 1, ViewSizeMode::Multiple, {-120, -30, 520, 330}},
      // one side equal and the other smaller: the pane's size stays
      {{800, 300}, 800, 600, 1, ViewSizeMode::Zoom, {0, 0, 800, 600}},
      // smaller in both: scaled up by 1.5, and 4.5 rounds up to 5
      {{2, 3}, 3, 100, 1, ViewSizeMode::Zoom, {0, 47, 3, 52}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PictureDestination(c.picture, c.W, c.H, c.mode, c.view), c.destination)
        << c.picture.width << "x" << c.picture.height << " in " << c.W << "x" << c.H << " mode " << c.mode;
}

TEST(ParseSourceSize, FourNumbersWithAnArea) {
  EXPECT_EQ(ParseSourceSize("0 0 640 360")->width, 640);
  EXPECT_EQ(ParseSourceSize("0 0 640 360")->height, 360);
  EXPECT_FALSE(ParseSourceSize(""));
  EXPECT_FALSE(ParseSourceSize("0 0 640"));
  EXPECT_FALSE(ParseSourceSize("0 0 0 360"));
  EXPECT_FALSE(ParseSourceSize("a b c d"));
}

struct VideoPlayer : FakePlayer {
  void Picture(const std::string& source) {
    device.On("status qel mode", {0, "playing"});
    device.On("where qel source", {0, source});
  }
};

TEST(PlacePicture, SendsTheDestinationAndPaintsTheBands) {
  VideoPlayer p;
  p.Picture("0 0 640 360");
  PlacePicture(p.state);
  EXPECT_TRUE(p.device.Sent("put qel destination at 0 75 800 450"));
  ASSERT_EQ(p.window.paneBackgrounds.size(), 1u);
  const std::vector<Rect> bands{{0, 0, 800, 75}, {0, 525, 800, 600}, {0, 0, 0, 600}, {800, 0, 800, 600}};
  EXPECT_EQ(p.window.paneBackgrounds[0], bands);

  // Overflowing the pane, the negative corner counts as 0 for the bands.
  p.state.screenMode = 4;
  PlacePicture(p.state);
  EXPECT_TRUE(p.device.Sent("put qel destination at -133 0 1067 600"));
  const std::vector<Rect> none{{0, 0, 800, 0}, {0, 600, 800, 600}, {0, 0, 0, 600}, {934, 0, 800, 600}};
  EXPECT_EQ(p.window.paneBackgrounds.back(), none);
}

TEST(PlacePicture, NothingWithoutAFileOrAPicture) {
  VideoPlayer p;
  p.Picture("");
  PlacePicture(p.state);
  p.device.On("status qel mode", {0, ""});
  p.device.On("where qel source", {0, "0 0 640 360"});
  PlacePicture(p.state);
  EXPECT_EQ(p.device.Count("put qel destination at 0 75 800 450"), 0);
  EXPECT_TRUE(p.window.paneBackgrounds.empty());
}

TEST(WipePane, PaintsTheWholePane) {
  VideoPlayer p;
  WipePane(p.state);
  ASSERT_EQ(p.window.paneBackgrounds.size(), 1u);
  EXPECT_EQ(p.window.paneBackgrounds[0], std::vector<Rect>{(Rect{0, 0, 800, 600})});
}

std::vector<int> Cycle(VideoPlayer& p, int presses) {
  std::vector<int> modes;
  for (int i = 0; i < presses; ++i) {
    CycleScreenMode(p.state);
    modes.push_back(p.state.screenMode);
  }
  return modes;
}

TEST(CycleScreenMode, ThreeStepsForTheSameShapeOrNoPicture) {
  VideoPlayer same;
  same.Picture("0 0 320 240");
  same.window.paneWidth = 640;
  same.window.paneHeight = 480;
  EXPECT_EQ(Cycle(same, 5), (std::vector<int>{1, 2, 3, 1, 2}));

  VideoPlayer none;
  EXPECT_EQ(Cycle(none, 4), (std::vector<int>{1, 2, 3, 1}));
}

TEST(CycleScreenMode, FourStepsWhenThePaneHasAnotherShape) {
  VideoPlayer p;
  p.Picture("0 0 320 240");
  p.window.paneWidth = 640;
  p.window.paneHeight = 480;
  EXPECT_EQ(Cycle(p, 3), (std::vector<int>{1, 2, 3}));
  // The full-screen pane on a wide monitor: the filling mode follows.
  p.window.paneWidth = 1920;
  p.window.paneHeight = 1080;
  EXPECT_EQ(Cycle(p, 2), (std::vector<int>{4, 1}));
}

TEST(CycleScreenMode, AppliesEachModeToTheWindow) {
  VideoPlayer p;
  p.Picture("0 0 640 360");
  p.window.windowRect = {10, 20, 410, 320};
  CycleScreenMode(p.state);  // 1
  EXPECT_TRUE(p.window.controlsShown);
  CycleScreenMode(p.state);  // 2
  EXPECT_EQ(p.state.windowRect, (Rect{10, 20, 410, 320}));
  CycleScreenMode(p.state);  // 3
  EXPECT_FALSE(p.window.controlsShown);
  CycleScreenMode(p.state);  // 4: the window stays, the picture fills
  EXPECT_EQ(p.window.windowModes,
            (std::vector<WindowMode>{WindowMode::Normal, WindowMode::Maximized, WindowMode::FullScreen}));
  EXPECT_TRUE(p.device.Sent("put qel destination at -133 0 1067 600"));
  CycleScreenMode(p.state);  // 1 again
  EXPECT_TRUE(p.window.controlsShown);
  EXPECT_EQ(p.window.windowModes.back(), WindowMode::Normal);
  EXPECT_EQ(p.window.relayouts, 5);
}

}  // namespace
}  // namespace qel::test
