#include "core/pane/placement.h"

#include <gtest/gtest.h>

#include "core/pane/picture.h"

namespace qel {
namespace {

Rect Sized(int x, int y, int w, int h) { return {x, y, x + w, y + h}; }

TEST(PlacePanePicture, TheThreeRulesInAPane) {
  struct Case {
    const char* name;
    ViewSizeMode mode;
    Rect area;
    int w, h;
    Rect source, destination;
    bool smooth;
  } cases[] = {
      {"zoom, wide picture: full width, centred vertically", ViewSizeMode::Zoom, Sized(0, 0, 300, 300), 100, 50,
       Sized(0, 0, 100, 50), Sized(0, 75, 300, 150), true},
      {"zoom, tall picture: full height, centred horizontally", ViewSizeMode::Zoom, Sized(0, 0, 300, 300), 50, 100,
       Sized(0, 0, 50, 100), Sized(75, 0, 150, 300), true},
      {"zoom keeps the area's corner", ViewSizeMode::Zoom, Sized(10, 20, 300, 300), 100, 50, Sized(0, 0, 100, 50),
       Sized(10, 95, 300, 150), true},
      {"zoom, odd remainder rounds the offset down", ViewSizeMode::Zoom, Sized(0, 0, 301, 100), 100, 100,
       Sized(0, 0, 100, 100), Sized(100, 0, 100, 100), true},
      {"original, larger than the area: the centre", ViewSizeMode::Original, Sized(0, 0, 300, 300), 400, 200,
       Sized(50, 0, 300, 200), Sized(0, 50, 300, 200), false},
      {"original, small picture centred", ViewSizeMode::Original, Sized(2, 2, 300, 300), 100, 51,
       Sized(0, 0, 100, 51), Sized(102, 126, 100, 51), false},
      {"original, odd excess cut by its half", ViewSizeMode::Original, Sized(0, 0, 300, 300), 401, 300,
       Sized(50, 0, 301, 300), Sized(0, 0, 301, 300), false},
      {"multiple, k = 3", ViewSizeMode::Multiple, Sized(0, 0, 350, 300), 100, 90, Sized(0, 0, 100, 90),
       Sized(25, 15, 300, 270), false},
      {"multiple, k = 1 shows the centre", ViewSizeMode::Multiple, Sized(0, 0, 350, 300), 400, 400,
       Sized(25, 50, 350, 300), Sized(0, 0, 350, 300), false},
      {"multiple, the smaller factor wins", ViewSizeMode::Multiple, Sized(0, 0, 1000, 300), 100, 100,
       Sized(0, 0, 100, 100), Sized(350, 0, 300, 300), false},
  };
  for (const Case& c : cases) {
    const PictureDraw d = PlacePanePicture(c.mode, c.area, c.w, c.h);
    EXPECT_EQ(d.source, c.source) << c.name;
    EXPECT_EQ(d.destination, c.destination) << c.name;
    EXPECT_EQ(d.smooth, c.smooth) << c.name;
  }
}

TEST(PlacePanePicture, NothingForAnEmptyPictureOrArea) {
  for (ViewSizeMode mode : {ViewSizeMode::Zoom, ViewSizeMode::Original, ViewSizeMode::Multiple}) {
    EXPECT_EQ(PlacePanePicture(mode, Sized(0, 0, 300, 300), 0, 10).destination.Width(), 0);
    EXPECT_EQ(PlacePanePicture(mode, Sized(0, 0, 300, 300), 10, 0).destination.Height(), 0);
    EXPECT_EQ(PlacePanePicture(mode, Sized(5, 5, 0, 300), 10, 10).destination.Width(), 0);
  }
}

TEST(PanePictureArea, ScrollBarAndEdgesComeOff) {
  EXPECT_EQ(PanePictureArea(Sized(0, 0, 300, 200), 16, 2, 2, 0), Sized(2, 2, 280, 196));
  EXPECT_EQ(PanePictureArea(Sized(0, 0, 300, 200), 0, 2, 2, 1), Sized(2, 2, 296, 196));
  // The full-screen views draw from edge to edge.
  EXPECT_EQ(PanePictureArea(Sized(0, 0, 300, 200), 0, 2, 2, 3), Sized(0, 0, 300, 200));
  EXPECT_EQ(PanePictureArea(Sized(0, 0, 300, 200), 16, 2, 2, 4), Sized(0, 0, 284, 200));
}

TEST(FitListPicture, TallAndWidePictures) {
  // A tall picture in a wide list fills the height, centred.
  EXPECT_EQ(FitListPicture(300, 200, 100, 400), Sized(125, 0, 50, 200));
  // A wide picture fills the width from the top; the rest is background.
  EXPECT_EQ(FitListPicture(200, 300, 400, 100), Sized(0, 0, 200, 50));
  // Same aspect: the height ratio is not greater, so it is fitted by height.
  EXPECT_EQ(FitListPicture(200, 100, 400, 200), Sized(0, 0, 200, 100));
  // Truncated, not rounded.
  EXPECT_EQ(FitListPicture(100, 300, 3, 2), Sized(0, 0, 100, 66));
  EXPECT_EQ(FitListPicture(0, 300, 3, 2), Rect{});
}

TEST(FadeBitmap, FadesTowardsWhiteKeepingAlpha) {
  Picture p;
  p.width = 4;
  p.height = 1;
  // Blue, green, red, alpha per pixel.
  p.pixels = {0, 0, 0, 0, 200, 150, 100, 7, 255, 255, 255, 255, 1, 254, 128, 128};
  FadeBitmap(p);
  const std::vector<uint8_t> expected = {204, 204, 204, 0, 244, 234, 224, 7, 255, 255, 255, 255, 204, 254, 229, 128};
  EXPECT_EQ(p.pixels, expected);
}

TEST(PictureBound, LargePicturesAreNoPictures) {
  EXPECT_TRUE(PictureSizeAllowed(8192, 8192));
  EXPECT_TRUE(PictureSizeAllowed(1, 8192LL * 8192));
  EXPECT_FALSE(PictureSizeAllowed(8193, 8192));
  EXPECT_FALSE(PictureSizeAllowed(1, 8192LL * 8192 + 1));
  EXPECT_FALSE(PictureSizeAllowed(1LL << 40, 1LL << 40));
  EXPECT_FALSE(PictureSizeAllowed(0, 10));
  EXPECT_FALSE(PictureSizeAllowed(10, -1));
  // A decoder's picture with missing pixels is refused too.
  Picture broken;
  broken.width = 4;
  broken.height = 4;
  broken.pixels.resize(4 * 4 * 4 - 1);
  EXPECT_FALSE(AcceptPicture(broken));
  broken.pixels.resize(4 * 4 * 4);
  EXPECT_TRUE(AcceptPicture(broken));
}

}  // namespace
}  // namespace qel
