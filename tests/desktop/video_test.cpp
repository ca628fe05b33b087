// The video in the pane where no OpenGL can be had (the offscreen platform):
// the engine draws the frames itself and the pane paints them at the
// rectangle the core placed, with the background around; clicks pause and
// resume; the clipboard takes a frame of the video window's size.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QTest>
#include <cmath>
#include <cstdlib>

#include "core/playback/video.h"
#include "desktop/main_window.h"
#include "desktop/desktop_services.h"
#include "engine/device.h"
#include "fakes/fakes.h"
#include "fakes/files.h"

namespace qel::desktop {
namespace {

bool PumpUntil(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

bool Near(QColor c, int r, int g, int b) {
  return std::abs(c.red() - r) < 40 && std::abs(c.green() - g) < 40 && std::abs(c.blue() - b) < 40;
}

struct SoftwareVideo : ::testing::Test {
  test::FakePlayer player;
  engine::Engine engine{[](std::function<void()> task) {
    QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
  }};
  DesktopServices services;
  MainWindow window{player.state, &engine};
  test::TempDir dir;

  void SetUp() override {
    const std::string clip = dir / "halves.mp4";
    // Left half red, right half blue, 320 x 180, half a minute.
    const std::string make = "ffmpeg -loglevel error -y -f lavfi -i color=c=0xff0000:s=160x180:d=30 -f lavfi -i "
                             "color=c=0x0000ff:s=160x180:d=30 -filter_complex hstack,format=yuv420p "
                             "-c:v libx264 -preset ultrafast '" + clip + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    player.state.platform.device = &engine;
    player.state.platform.desktop = &services;
    window.Create(clip, OpenKind::File);
    ASSERT_TRUE(PumpUntil([&] { return Mode() == "playing"; }));
  }
  std::string Mode() {
    std::string mode;
    engine.Send("status qel mode", &mode);
    return mode;
  }
  QWidget* Viewport() { return window.pane()->edit()->viewport(); }
};

TEST_F(SoftwareVideo, DrawnAtThePlacedRectangleWithBandsAround) {
  std::string renderer;
  engine.Send("status qel renderer", &renderer);
  EXPECT_EQ(renderer, "software");
  QCoreApplication::processEvents();
  const Rect pane = window.PaneClientRect();
  const Rect d = PictureDestination({320, 180}, pane.Width(), pane.Height(), 0, ViewSizeMode::Zoom);
  ASSERT_GT(d.Height(), 20);
  ASSERT_TRUE(PumpUntil([&] {
    const QImage shot = window.pane()->grab().toImage();
    return Near(shot.pixelColor(d.left + d.Width() / 4, d.top + d.Height() / 2), 255, 0, 0);
  }));
  const QImage shot = window.pane()->grab().toImage();
  EXPECT_TRUE(Near(shot.pixelColor(d.left + 3 * d.Width() / 4, d.top + d.Height() / 2), 0, 0, 255));
  const QColor above = shot.pixelColor(pane.Width() / 2, d.top - 3);
  const QColor below = shot.pixelColor(pane.Width() / 2, d.bottom + 2);
  EXPECT_EQ(above, below);
  EXPECT_FALSE(Near(above, 255, 0, 0) || Near(above, 0, 0, 255));
}

TEST_F(SoftwareVideo, AClickPausesTheNextResumesADoubleClickCycles) {
  const QPoint middle = Viewport()->rect().center();
  QTest::mouseClick(Viewport(), Qt::LeftButton, Qt::NoModifier, middle);
  EXPECT_EQ(Mode(), "paused");
  QTest::mouseClick(Viewport(), Qt::LeftButton, Qt::NoModifier, middle);
  EXPECT_EQ(Mode(), "playing");
  // The double click's first click pauses; the double click resumes.
  QTest::mouseClick(Viewport(), Qt::LeftButton, Qt::NoModifier, middle);
  QTest::mouseDClick(Viewport(), Qt::LeftButton, Qt::NoModifier, middle);
  EXPECT_EQ(Mode(), "playing");
  EXPECT_EQ(player.state.screenMode, 1);
}

TEST_F(SoftwareVideo, TheMainWindowsDoubleClickAwayFromTheSplitterCycles) {
  // Between the buttons and the list: the window itself.
  QTest::mouseDClick(&window, Qt::LeftButton, Qt::NoModifier, QPoint(window.width() - 2, window.height() - 2));
  EXPECT_EQ(player.state.screenMode, 1);
  EXPECT_EQ(Mode(), "playing");
}

// On a high-density screen (this suite runs again at QT_SCALE_FACTOR=2) the
// frames are drawn at the screen's pixels, not at the pane's and stretched;
// the clipboard takes the frame as the screen shows it, as with OpenGL.
TEST_F(SoftwareVideo, FramesAndTheClipboardHaveTheScreensPixels) {
  const Rect pane = window.PaneClientRect();
  const Rect d = PictureDestination({320, 180}, pane.Width(), pane.Height(), 0, ViewSizeMode::Zoom);
  const double ratio = window.devicePixelRatioF();
  const QSize shown(static_cast<int>(std::lround(d.Width() * ratio)), static_cast<int>(std::lround(d.Height() * ratio)));
  EXPECT_TRUE(PumpUntil([&] {
    const auto frame = engine.VideoFrame(window.NativeHandle(Control::PaneEdit));
    return frame && QSize(frame->picture.width, frame->picture.height) == shown;
  })) << "frames of " << shown.width() << " x " << shown.height();
  QGuiApplication::clipboard()->clear();
  window.Command(40021);
  EXPECT_EQ(QGuiApplication::clipboard()->image().size(), shown);
}

}  // namespace
}  // namespace qel::desktop

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
