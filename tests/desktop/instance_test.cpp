#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "desktop/instance.h"

namespace qel::desktop {
namespace {

struct Instance : ::testing::Test {
  std::string root;
  void SetUp() override {
    char pattern[] = "/tmp/qel-instance-XXXXXX";
    root = mkdtemp(pattern);
    setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(root); }

  // Runs the event loop while a second start sends from another thread.
  SendOutcome SendWhileServing(const std::string& name, char kind, const std::string& payload) {
    auto future = std::async(std::launch::async, [&] { return SendToRunningInstance(name, kind, payload); });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (future.wait_for(std::chrono::seconds(0)) == std::future_status::ready) loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    return future.get();
  }
};

TEST_F(Instance, PrivateFolder) {
  const std::string folder = InstanceFolder();
  EXPECT_EQ(folder, root + "/qel");
  struct stat st {};
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(Instance, NoneRunning) { EXPECT_EQ(SendToRunningInstance("qel", 'C', "1008"), SendOutcome::NoInstance); }

TEST_F(Instance, HandOffAndCommandReachTheRunningPlayer) {
  std::vector<std::pair<char, std::string>> got;
  InstanceServer server([&](char kind, const std::string& payload) { got.push_back({kind, payload}); });
  ASSERT_TRUE(server.Listen("qel"));
  EXPECT_EQ(SendWhileServing("qel", 'H', "\"/music/a b.mp3\""), SendOutcome::Handled);
  EXPECT_EQ(SendWhileServing("qel", 'C', "1008"), SendOutcome::Handled);
  EXPECT_EQ(SendWhileServing("qel", 'H', ""), SendOutcome::Handled);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], (std::pair<char, std::string>{'H', "\"/music/a b.mp3\""}));
  EXPECT_EQ(got[1], (std::pair<char, std::string>{'C', "1008"}));
  EXPECT_EQ(got[2], (std::pair<char, std::string>{'H', ""}));
  // Another name is another family.
  EXPECT_EQ(SendToRunningInstance("-b", 'C', "1004"), SendOutcome::NoInstance);
}

TEST_F(Instance, BusyMarkerAnswersWithoutBlocking) {
  int calls = 0;
  InstanceServer server([&](char, const std::string&) { ++calls; });
  ASSERT_TRUE(server.Listen("qel"));
  server.SetBusy(true);
  EXPECT_EQ(SendToRunningInstance("qel", 'H', "\"/x.mp3\""), SendOutcome::Busy);
  server.SetBusy(false);
  EXPECT_EQ(SendWhileServing("qel", 'H', "\"/x.mp3\""), SendOutcome::Handled);
  EXPECT_EQ(calls, 1);
}

TEST_F(Instance, StaleSocketDoesNotStopTheNextStart) {
  // A socket file left by a killed player: bound once, nobody listening.
  const std::string path = InstanceSocketPath("qel");
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);
  EXPECT_EQ(SendToRunningInstance("qel", 'C', "1004"), SendOutcome::NoInstance);
  InstanceServer server([](char, const std::string&) {});
  EXPECT_TRUE(server.Listen("qel"));
  EXPECT_EQ(SendWhileServing("qel", 'C', "1004"), SendOutcome::Handled);
  server.Close();
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace qel::desktop
