// The single-instance service between real processes and sockets: the
// name's lock, the hand-off, commands during a save, overlapping starts, a
// killed player and a closing one.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "desktop/instance.h"
#include "fakes/as_user.h"

namespace qel::desktop {
namespace {

using namespace std::chrono_literals;

struct Instance : ::testing::Test {
  std::string root;
  void SetUp() override {
    char pattern[] = "/tmp/qel-instance-XXXXXX";
    root = mkdtemp(pattern);
    setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(root); }

  // Runs the event loop until the future is ready (or 5 s passed).
  template <typename T>
  T Serve(std::future<T>& future) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (future.wait_for(0s) == std::future_status::ready) loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    return future.get();
  }
  void Spin(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
  }
  std::future<SendOutcome> SendLater(const std::string& name, char kind, const std::string& payload,
                                     InstanceLock* lock = nullptr) {
    return std::async(std::launch::async, [=] { return SendToRunningInstance(name, kind, payload, lock); });
  }
  SendOutcome SendWhileServing(const std::string& name, char kind, const std::string& payload) {
    auto future = SendLater(name, kind, payload);
    return Serve(future);
  }
};

// A server that acts on every message at once and records it.
struct Recorder {
  std::vector<std::pair<char, std::string>> got;
  InstanceServer server{[this](char kind, const std::string& payload, std::function<bool()> take,
                                std::function<void()> done) {
    if (!take()) return;
    got.push_back({kind, payload});
    done();
  }};
};

TEST_F(Instance, PrivateFolder) {
  const std::string folder = InstanceFolder();
  EXPECT_EQ(folder, root + "/qel");
  struct stat st {};
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(Instance, WithNonePlayingTheStartTakesTheName) {
  InstanceLock lock;
  EXPECT_EQ(SendToRunningInstance("qel", 'C', "1008", &lock), SendOutcome::NoInstance);
  ASSERT_TRUE(lock.Held());
  EXPECT_FALSE(InstanceLock::TryTake("qel").Held());
  EXPECT_TRUE(InstanceLock::TryTake("-b").Held());  // another name, another family
  lock = InstanceLock();
  EXPECT_TRUE(InstanceLock::TryTake("qel").Held());
}

TEST_F(Instance, HandOffAndCommandReachTheRunningPlayer) {
  Recorder r;
  ASSERT_TRUE(r.server.Listen("qel", InstanceLock::TryTake("qel")));
  // As long as a path may be.
  const std::string longLine = "\"/music/" + std::string(PATH_MAX - 64, 'x') + "/曲.mp3\"";
  EXPECT_EQ(SendWhileServing("qel", 'H', "\"/music/a b.mp3\""), SendOutcome::Handled);
  EXPECT_EQ(SendWhileServing("qel", 'C', "1008"), SendOutcome::Handled);
  EXPECT_EQ(SendWhileServing("qel", 'H', ""), SendOutcome::Handled);
  EXPECT_EQ(SendWhileServing("qel", 'H', longLine), SendOutcome::Handled);
  ASSERT_EQ(r.got.size(), 4u);
  EXPECT_EQ(r.got[0], (std::pair<char, std::string>{'H', "\"/music/a b.mp3\""}));
  EXPECT_EQ(r.got[1], (std::pair<char, std::string>{'C', "1008"}));
  EXPECT_EQ(r.got[2], (std::pair<char, std::string>{'H', ""}));
  EXPECT_EQ(r.got[3].second, longLine);
}

// While a playlist is written a hand-off is told to try again, but a remote
// command waits the save out and then acts.
TEST_F(Instance, DuringASaveAHandOffIsBusyAndACommandWaits) {
  Recorder r;
  ASSERT_TRUE(r.server.Listen("qel", InstanceLock::TryTake("qel")));
  r.server.SetBusy(true);
  EXPECT_EQ(SendToRunningInstance("qel", 'H', "\"/x.mp3\""), SendOutcome::Busy);
  auto command = SendLater("qel", 'C', "1008");
  EXPECT_EQ(command.wait_for(200ms), std::future_status::timeout);  // the save holds the player
  r.server.SetBusy(false);
  EXPECT_EQ(Serve(command), SendOutcome::Handled);
  EXPECT_EQ(r.got, (std::vector<std::pair<char, std::string>>{{'C', "1008"}}));
  EXPECT_EQ(SendWhileServing("qel", 'H', "\"/x.mp3\""), SendOutcome::Handled);
}

// Two starts of one name: whichever holds the name serves it; the other
// waits for it to listen instead of becoming a second player.
TEST_F(Instance, AStartThatHoldsTheNameMakesTheNextOneWait) {
  InstanceLock first;
  ASSERT_EQ(SendToRunningInstance("qel", 'H', "", &first), SendOutcome::NoInstance);
  InstanceLock second;
  auto handOff = SendLater("qel", 'H', "\"/b.mp3\"", &second);
  EXPECT_EQ(handOff.wait_for(300ms), std::future_status::timeout);
  Recorder r;
  InstanceServer intruder([](char, const std::string&, std::function<bool()>, std::function<void()>) {});
  EXPECT_FALSE(intruder.Listen("qel", InstanceLock::TryTake("qel")));  // no lock, no socket
  ASSERT_TRUE(r.server.Listen("qel", std::move(first)));
  EXPECT_EQ(Serve(handOff), SendOutcome::Handled);
  EXPECT_FALSE(second.Held());
  EXPECT_EQ(r.got, (std::vector<std::pair<char, std::string>>{{'H', "\"/b.mp3\""}}));
}

// At exit a player removes its own socket only: one bound there since
// (by hand here) stays for its owner.
TEST_F(Instance, ClosingRemovesOnlyTheSocketBoundHere) {
  const std::string path = InstanceSocketPath("qel");
  {
    Recorder r;
    ASSERT_TRUE(r.server.Listen("qel", InstanceLock::TryTake("qel")));
    r.server.Close();
    EXPECT_FALSE(std::filesystem::exists(path));
  }
  Recorder r;
  ASSERT_TRUE(r.server.Listen("qel", InstanceLock::TryTake("qel")));
  ASSERT_EQ(unlink(path.c_str()), 0);
  const int other = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(bind(other, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  r.server.Close();
  EXPECT_TRUE(std::filesystem::exists(path));
  close(other);
}

// A player killed outright leaves its socket file and its lock file behind;
// the kernel released the lock, so the next start takes over.
TEST_F(Instance, AKilledPlayerNeverBlocksTheNextStart) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const std::string path = InstanceSocketPath("qel");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    InstanceLock lock = InstanceLock::TryTake("qel");
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    const bool ok = lock.Held() && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    listen(fd, 4) == 0;
    (void)!write(ready[1], ok ? "1" : "0", 1);
    for (;;) pause();
  }
  char answer = 0;
  ASSERT_EQ(read(ready[0], &answer, 1), 1);
  ASSERT_EQ(answer, '1');
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  ASSERT_TRUE(std::filesystem::exists(path));

  InstanceLock lock;
  EXPECT_EQ(SendToRunningInstance("qel", 'C', "1004", &lock), SendOutcome::NoInstance);
  ASSERT_TRUE(lock.Held());
  Recorder r;
  ASSERT_TRUE(r.server.Listen("qel", std::move(lock)));
  EXPECT_EQ(SendWhileServing("qel", 'C', "1004"), SendOutcome::Handled);
  close(ready[0]);
  close(ready[1]);
}

// A player that closes with a hand-off still waiting never acted on it: the
// second start becomes the next player instead of losing its file.
TEST_F(Instance, AHandOffLeftByAClosingPlayerStartsTheNextOne) {
  int waiting = 0;
  InstanceServer server([&](char, const std::string&, std::function<bool()>, std::function<void()>) { ++waiting; });
  ASSERT_TRUE(server.Listen("qel", InstanceLock::TryTake("qel")));
  InstanceLock next;
  auto handOff = SendLater("qel", 'H', "\"/c.mp3\"", &next);
  for (int i = 0; i < 200 && waiting == 0; ++i) Spin(5);
  ASSERT_EQ(waiting, 1);
  EXPECT_EQ(handOff.wait_for(100ms), std::future_status::timeout);
  server.StopListening();
  // Closing, the player still writes its files under the name: the start
  // waits for it to let go.
  EXPECT_EQ(handOff.wait_for(300ms), std::future_status::timeout);
  server.Close();
  ASSERT_EQ(handOff.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(handOff.get(), SendOutcome::NoInstance);
  EXPECT_TRUE(next.Held());
}


// Without XDG_RUNTIME_DIR another user may take /tmp/qel-<uid> first, as a
// folder of theirs or a link: the player keeps its name among its own files
// instead, and still finds the one running player.
TEST_F(Instance, AFolderAnotherUserPlantedInTmpIsNeverUsed) {
  QEL_NEED_ROOT_TO_PLANT();
  const std::string planted = "/tmp/qel-" + std::to_string(test::kUser);
  const std::string theirs = root + "/theirs";
  const std::string home = root + "/home";
  std::filesystem::create_directories(theirs);
  std::filesystem::create_directories(home);
  test::GiveTo(theirs, test::kOtherUser);
  test::GiveTo(home, test::kUser);
  chmod(root.c_str(), 0755);
  for (bool asLink : {false, true}) {
    std::filesystem::remove_all(planted);
    if (asLink) {
      ASSERT_EQ(symlink(theirs.c_str(), planted.c_str()), 0);
    } else {
      ASSERT_EQ(mkdir(planted.c_str(), 0777), 0);
      chmod(planted.c_str(), 0777);
    }
    lchown(planted.c_str(), test::kOtherUser, test::kOtherUser);
    test::AsUser([&] {
      unsetenv("XDG_RUNTIME_DIR");
      unsetenv("XDG_CACHE_HOME");
      setenv("HOME", home.c_str(), 1);
      const std::string folder = InstanceFolder();
      EXPECT_EQ(folder, home + "/.cache/qel-" + std::to_string(test::kUser)) << asLink;
      struct stat st {};
      ASSERT_EQ(lstat(folder.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, 0700u);
      InstanceLock first;
      EXPECT_EQ(SendToRunningInstance("qel", 'H', "", &first, 200ms), SendOutcome::NoInstance);
      EXPECT_TRUE(first.Held());
      // The name is held: a second start does not become a second player.
      InstanceLock second;
      EXPECT_EQ(SendToRunningInstance("qel", 'H', "", &second, 200ms), SendOutcome::Closing);
      EXPECT_FALSE(second.Held());
    });
    EXPECT_EQ(std::filesystem::directory_iterator(theirs), std::filesystem::directory_iterator());
  }
  std::filesystem::remove_all(planted);
}

// A second start waits a bounded time. A player stuck in a dialog gives the
// message back untouched; one that is closing gets nothing; one that does
// not even read is never left with half of it.
TEST_F(Instance, ASecondStartGivesUpInTimeAndNothingIsHalfDone) {
  std::vector<std::function<bool()>> waiting;
  int acted = 0;
  InstanceServer server([&](char, const std::string&, std::function<bool()> take, std::function<void()> done) {
    waiting.push_back([take, done, &acted] {
      if (!take()) return false;
      ++acted;
      done();
      return true;
    });
  });
  ASSERT_TRUE(server.Listen("qel", InstanceLock::TryTake("qel")));
  auto start = std::chrono::steady_clock::now();
  auto handOff = std::async(std::launch::async, [] { return SendToRunningInstance("qel", 'H', "\"/a.mp3\"", nullptr, 300ms); });
  EXPECT_EQ(Serve(handOff), SendOutcome::Refused);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  ASSERT_EQ(waiting.size(), 1u);
  EXPECT_FALSE(waiting[0]());  // the dialog closed: the hand-off was taken back
  EXPECT_EQ(acted, 0);

  // Not read at all while the start waits (the player's thread is stuck).
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(SendToRunningInstance("qel", 'H', "\"/b.mp3\"", nullptr, 200ms), SendOutcome::Unanswered);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
  Spin(100);
  EXPECT_EQ(waiting.size(), 1u);  // read only with its withdrawal: given back

  // Closing: the name is held but nobody listens any more.
  server.StopListening();
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(SendToRunningInstance("qel", 'C', "1008", nullptr, 300ms), SendOutcome::Closing);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(SendToRunningInstance("qel", 'H', std::string(kMaxInstanceMessage + 1, 'x')), SendOutcome::TooLong);
  EXPECT_EQ(acted, 0);
}

}  // namespace
}  // namespace qel::desktop
