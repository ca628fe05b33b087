// A second start's hand-off or remote command that arrives while a dialog
// or a message box of an operation is open waits for the operation to end:
// the real window offscreen, the real single-instance service, a second
// start on another thread.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <future>

#include "desktop/instance.h"
#include "desktop/main_window.h"
#include "fakes/fakes.h"
#include "fakes/files.h"

namespace qel::desktop {
namespace {

using namespace std::chrono_literals;

struct Reentry : ::testing::Test {
  test::TempDir dir;
  const bool runtime = setenv("XDG_RUNTIME_DIR", dir.path.c_str(), 1) == 0;
  test::FakePlayer player;
  MainWindow window{player.state, nullptr};
  InstanceServer server{
      [this](char kind, const std::string& payload, std::function<bool()> take, std::function<void()> done) {
        window.FromSecondStart(kind, payload, std::move(take), std::move(done));
      }};

  void SetUp() override {
    player.device.responder = [this](const std::string& command, test::FakeDevice::Reply& reply) {
      if (command.find(" length") != std::string::npos) {
        reply.answer = "60000";
        return true;
      }
      if (command.rfind("open \"" + dir / "music/b.mp3", 0) == 0) {
        reply.error = 275;  // this one cannot be opened
        return true;
      }
      return false;
    };
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) test::WriteAll(dir / "music/" + name, "");
    window.Create(dir / "music", OpenKind::File);
    ASSERT_TRUE(server.Listen("qel", InstanceLock::TryTake("qel")));
  }

  std::future<SendOutcome> SecondStart(char kind, const std::string& payload) {
    return std::async(std::launch::async, [=] { return SendToRunningInstance("qel", kind, payload); });
  }
  // Runs the event loop for a while (inside a dialog, its own loop runs).
  static void Spin(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
  }
  static SendOutcome Finish(std::future<SendOutcome>& future) {
    for (int i = 0; i < 500 && future.wait_for(0s) != std::future_status::ready; ++i) Spin(10);
    return future.get();
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const ListEntry& e : player.state.entries) names.push_back(e.path.substr(e.path.rfind('/') + 1));
    return names;
  }
};

// Ctrl+S opens the save dialog; an argument-less second start (which
// empties the list) waits until the dialog is answered and the playlist
// written whole.
TEST_F(Reentry, AHandOffWaitsForTheSaveDialog) {
  std::future<SendOutcome> second;
  bool sawDialog = false;
  std::vector<std::string> duringDialog;
  QTimer::singleShot(100, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    sawDialog = true;
    second = SecondStart('H', "");
    Spin(300);  // the dialog's loop runs; the hand-off must not
    duringDialog = Names();
    EXPECT_EQ(second.wait_for(0s), std::future_status::timeout);
    QMetaObject::invokeMethod(dialog, "accept");
  });
  window.Command(1600);
  ASSERT_TRUE(sawDialog);
  EXPECT_EQ(duringDialog, (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3"}));
  const std::string saved = test::ReadAll(dir / "music/music.m3u8");  // the name offered
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) EXPECT_NE(saved.find(name), std::string::npos) << saved;
  EXPECT_EQ(Finish(second), SendOutcome::Handled);
  EXPECT_TRUE(player.state.entries.empty());
  EXPECT_EQ(player.state.currentIndex, -1);
}

// A file that cannot be opened shows a message box from inside the play
// operation; a remote "next" and a hand-off wait for it, then act in order.
TEST_F(Reentry, RemoteCommandsWaitForAMessageBoxInsidePlay) {
  std::future<SendOutcome> next, handOff;
  bool sawBox = false;
  int currentDuringBox = -2;
  QTimer::singleShot(100, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    sawBox = true;
    next = SecondStart('C', "1008");
    Spin(200);
    handOff = SecondStart('H', "\"" + dir / "music/c.mp3" + "\"");
    Spin(200);
    currentDuringBox = player.state.currentIndex;
    EXPECT_EQ(next.wait_for(0s), std::future_status::timeout);
    EXPECT_EQ(handOff.wait_for(0s), std::future_status::timeout);
    box->accept();
  });
  window.SetAllRowsSelected(false);
  window.SetRowSelected(1, true);
  window.Command(1001, 2);  // double click on b.mp3
  ASSERT_TRUE(sawBox);
  EXPECT_EQ(currentDuringBox, 1);
  EXPECT_EQ(Finish(next), SendOutcome::Handled);
  EXPECT_EQ(Finish(handOff), SendOutcome::Handled);
  EXPECT_EQ(player.state.entries[player.state.currentIndex].path, dir / "music/c.mp3");
}

}  // namespace
}  // namespace qel::desktop
