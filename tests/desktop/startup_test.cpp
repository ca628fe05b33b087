// The start's order on the real window offscreen: the window is painted
// before the first open runs, and what a second start sends meanwhile waits
// for that open.
#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <QElapsedTimer>
#include <QEvent>

#include "desktop/main_window.h"
#include "fakes/fakes.h"
#include "fakes/files.h"

namespace qel::desktop {
namespace {

// Counts the paints a widget receives.
struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

bool RunUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

TEST(StartupOrder, TheFileOfTheCommandLineOpensOnceTheWindowIsPainted) {
  test::FakePlayer player;
  test::TempDir dir;
  test::WriteAll(dir / "song.mp3", "");
  PaintCounter counter;
  int paintsAtOpen = -1;
  std::vector<std::string> order;
  player.device.responder = [&](const std::string& command, test::FakeDevice::Reply& reply) {
    if (command.rfind("open ", 0) == 0 && command.find("Qel_") == std::string::npos) {
      paintsAtOpen = counter.paints;
      order.push_back("open");
    }
    if (command.find(" length") != std::string::npos) {
      reply.answer = "60000";
      return true;
    }
    return false;
  };
  MainWindow window{player.state, nullptr};
  window.installEventFilter(&counter);

  window.CreateThenOpen(dir / "song.mp3", OpenKind::File);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(paintsAtOpen, -1) << "the file was opened before the window could be painted";

  // A second start's command arrives before the first open: it waits.
  bool answered = false;
  window.FromSecondStart('C', "1006", [] { return true; }, [&] {
    order.push_back("second start");
    answered = true;
  });
  EXPECT_FALSE(answered);

  ASSERT_TRUE(RunUntil([&] { return answered; }, 5000));
  EXPECT_GT(paintsAtOpen, 0) << "the window had not been painted when the file was opened";
  EXPECT_EQ(order, (std::vector<std::string>{"open", "second start"}));
  EXPECT_EQ(player.state.entries.size(), 1u);
}

// The master volume is read after the first paint, yet before the first
// open: the slider shows the system's level and the file that plays gets it.
TEST(StartupOrder, TheMasterVolumeIsReadBeforeTheFileThatPlays) {
  test::FakePlayer player;
  test::TempDir dir;
  test::WriteAll(dir / "song.mp3", "");
  player.desktop.master = 0.3;
  player.device.responder = [](const std::string& command, test::FakeDevice::Reply& reply) {
    if (command.find(" length") == std::string::npos) return false;
    reply.answer = "60000";
    return true;
  };
  MainWindow window{player.state, nullptr};
  window.CreateThenOpen(dir / "song.mp3", OpenKind::File);
  ASSERT_TRUE(RunUntil([&] { return !player.state.entries.empty(); }, 5000));
  EXPECT_EQ(player.state.volume, 300);
  EXPECT_EQ(window.volumeBar()->value(), 30);
  const std::string applied = "setaudio " + player.state.mciAlias + " volume to 300";
  EXPECT_NE(std::find(player.device.commands.begin(), player.device.commands.end(), applied),
            player.device.commands.end())
      << "the file that plays was not given the master level";
  EXPECT_NEAR(player.desktop.master.value_or(-1), 0.3, 1e-6) << "the system's level was changed by the start";
}

TEST(StartupOrder, AWindowThatIsNeverPaintedStillOpens) {
  test::FakePlayer player;
  test::TempDir dir;
  test::WriteAll(dir / "a.mp3", "");
  test::WriteAll(dir / "b.mp3", "");
  player.device.responder = [](const std::string& command, test::FakeDevice::Reply& reply) {
    if (command.find(" length") == std::string::npos) return false;
    reply.answer = "60000";
    return true;
  };
  MainWindow window{player.state, nullptr};
  window.CreateThenOpen(dir.path, OpenKind::File);
  window.hide();  // minimised or hidden at once: no paint comes
  ASSERT_TRUE(RunUntil([&] { return player.state.entries.size() == 2; }, 5000));
  EXPECT_EQ(window.RowCount(), 2);
}

}  // namespace
}  // namespace qel::desktop
