// Another user on the same machine, with the player run as an ordinary user:
// links planted under the names the player writes, a dust folder taken
// first, and the temporary files of killed operations.
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

#include "core/app/capture.h"
#include "core/fileops/file_ops.h"
#include "core/fileops/places.h"
#include "core/fileops/posix_files.h"
#include "core/fs/atomic_file.h"
#include "fakes/as_user.h"
#include "fileops_fixture.h"

namespace qel::test {
namespace {

using Names = std::vector<std::string>;

struct Hostile : ::testing::Test {
  TempDir dir;
  std::string home = dir / "home";      // the user's own
  std::string sticky = dir / "sticky";  // shared as /tmp is
  std::string open = dir / "open";      // anyone may write, no sticky bit
  std::string secret = dir / "home/letter.txt";

  void SetUp() override {
    QEL_NEED_ROOT_TO_PLANT();
    ::chmod(dir.path.c_str(), 0755);
    fs::create_directories(home);
    WriteAll(secret, "the user's own words");
    GiveTo(home, kUser);
    ::chmod(home.c_str(), 0755);
    fs::create_directories(sticky);
    ::chmod(sticky.c_str(), 01777);
    fs::create_directories(open);
    ::chmod(open.c_str(), 0777);
  }
  void PlantLink(const std::string& at, const std::string& to) {
    ASSERT_EQ(::symlink(to.c_str(), at.c_str()), 0);
    ASSERT_EQ(::lchown(at.c_str(), kOtherUser, kOtherUser), 0);
  }
};

TEST_F(Hostile, NothingThePlayerWritesGoesThroughAnotherUsersLink) {
  const Picture picture{2, 2, std::vector<uint8_t>(16, 0x7f)};
  struct Case {
    const char* what;
    std::string folder;
    std::function<bool(const std::string&)> write;
  } cases[] = {
      {"capture in a sticky folder", sticky, [&](const std::string& p) { return WriteBmpFile(picture, p); }},
      {"capture in an open folder", open, [&](const std::string& p) { return WriteBmpFile(picture, p); }},
      {"settings in a sticky folder", sticky, [](const std::string& p) { return ReplaceFileAtomically(p, "[x]\n"); }},
      {"settings in an open folder", open, [](const std::string& p) { return ReplaceFileAtomically(p, "[x]\n"); }},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = c.folder + "/song_00_0" + std::to_string(n++) + "_000.bmp";
    PlantLink(path, secret);
    AsUser([&] {
      c.write(path);  // refused in the sticky folder, the link replaced in the open one
      EXPECT_EQ(ReadAll(secret), "the user's own words") << c.what;
    });
    EXPECT_EQ(ReadAll(secret), "the user's own words") << c.what;
  }
}

TEST_F(Hostile, TheUsersOwnLinkToTheSettingsIsStillFollowed) {
  const std::string link = home + "/qel.ini";
  ASSERT_EQ(::symlink("letter.txt", link.c_str()), 0);
  GiveTo(link, kUser);
  AsUser([&] {
    EXPECT_TRUE(ReplaceFileAtomically(link, "[UserSetting]\n"));
    EXPECT_EQ(ReadAll(secret), "[UserSetting]\n");
    EXPECT_TRUE(fs::is_symlink(link));
  });
}

TEST_F(Hostile, ADustFolderAnotherUserPlantedTakesNothing) {
  // A music folder others may write to, below a shared sticky folder: the
  // dust folder has to be inside it, where another user can be first.
  const std::string music = sticky + "/music";
  const std::string theirs = sticky + "/theirs";
  fs::create_directories(theirs);
  GiveTo(theirs, kOtherUser);
  struct Case {
    const char* what;
    std::function<void(const std::string&)> plant;
  } cases[] = {
      {"their folder open to all",
       [&](const std::string& dust) {
         fs::create_directories(dust);
         ::chmod(dust.c_str(), 0777);
         GiveTo(dust, kOtherUser);
       }},
      {"a link to their folder", [&](const std::string& dust) { PlantLink(dust, theirs); }},
  };
  for (const Case& c : cases) {
    fs::remove_all(music);
    fs::create_directories(music);
    WriteAll(music + "/song.mp3", "song");
    GiveTo(music, kUser);
    ::chmod(music.c_str(), 0777);
    const std::string dust = music + "/Qel_DUST";
    c.plant(dust);
    AsUser([&] {
      ASSERT_EQ(DustFolderOf(music + "/song.mp3", "/nonexistent"), RealPath(music) + "/Qel_DUST");
      FilePlayer p({});
      p.state.entries.push_back({music + "/song.mp3", "", 0});
      p.window.rows.push_back("song.mp3");
      p.state.lastIndex = 0;
      p.Select({0});
      p.Command(4000);
      EXPECT_EQ(p.Texts(), Names{WithName(kDustRefused, dust)}) << c.what;
      EXPECT_EQ(p.Names(), Names{"song.mp3"}) << c.what;
      EXPECT_EQ(ReadAll(music + "/song.mp3"), "song") << c.what;
    });
    EXPECT_EQ(Listing(theirs), Names{}) << c.what;
  }
}

// A copy killed half-way leaves its temporary file; the next copy into the
// folder removes it, and only it.
TEST(Leftovers, TheNextOperationInTheFolderSweepsWhatAKilledOneLeft) {
  TempDir dir;
  ::chmod(dir.path.c_str(), 0755);
  const std::string out = dir / "out";
  WriteAll(dir / "song.mp3", "song");
  const Names stale = {".qel-Ab12Cd", ".qel-link-77-3"};
  const Names kept = {".qel-fresh1", ".qel-locked", ".qel-short", ".qel-dir123", "notes.qel-Ab12Cd"};
  for (const std::string& name : {std::string(".qel-Ab12Cd"), std::string(".qel-fresh1"), std::string(".qel-locked"),
                                  std::string(".qel-short"), std::string("notes.qel-Ab12Cd")})
    WriteAll(out + "/" + name, std::string(1000, 'x'));
  fs::create_directories(out + "/.qel-dir123");
  ASSERT_EQ(::symlink("song.mp3", (out + "/.qel-link-77-3").c_str()), 0);
  GiveTo(dir.path, TestUser());
  const timespec old[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 120, 0}};
  for (const char* name : {".qel-Ab12Cd", ".qel-locked", ".qel-short", ".qel-dir123", "notes.qel-Ab12Cd"})
    ::utimensat(AT_FDCWD, (out + "/" + name).c_str(), old, 0);
  ::utimensat(AT_FDCWD, (out + "/.qel-link-77-3").c_str(), old, AT_SYMLINK_NOFOLLOW);
  // A copy still running (another player) holds its file's lock.
  const int running = ::open((out + "/.qel-locked").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(running, LOCK_EX), 0);
  AsUser([&] {
    PosixFileSystem files(dir / "Trash");
    EXPECT_EQ(files.CopyNoReplace(dir / "song.mp3", out + "/song.mp3"), FileOutcome::Done);
  });
  Names expected = kept;
  expected.push_back("song.mp3");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Listing(out), expected);

  // A capture sweeps its folder the same way.
  ::utimensat(AT_FDCWD, (out + "/.qel-fresh1").c_str(), old, 0);
  AsUser([&] { EXPECT_TRUE(WriteBmpFile(Picture{1, 1, {1, 2, 3, 4}}, out + "/a_00_00_000.bmp")); });
  EXPECT_FALSE(fs::exists(out + "/.qel-fresh1"));
  EXPECT_TRUE(fs::exists(out + "/.qel-locked"));
  ::close(running);
}

// A real copy killed half-way leaves its temporary behind; a minute later
// the next copy into that folder removes it.
TEST(Leftovers, ACopyKilledHalfWayLeavesATemporaryTheNextCopySweeps) {
  TempDir dir;
  ::chmod(dir.path.c_str(), 0755);
  WriteAll(dir / "big.flac", std::string(64 << 20, 'b'));
  WriteAll(dir / "small.mp3", "small");
  fs::create_directories(dir / "out");
  GiveTo(dir.path, TestUser());
  std::string leftover;
  for (int delayMs = 2; delayMs < 400 && leftover.empty(); delayMs *= 2) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (Root() && (::setgroups(0, nullptr) != 0 || ::setgid(kUser) != 0 || ::setuid(kUser) != 0)) ::_exit(3);
      CopyFileNoReplace(dir / "big.flac", dir / "out/big.flac", false);
      ::_exit(0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    for (const std::string& name : Listing(dir / "out"))
      if (IsLeftoverName(name)) leftover = name;
    fs::remove(dir / "out/big.flac");
  }
  ASSERT_FALSE(leftover.empty()) << "no kill landed during the copy";
  AsUser([&] {
    PosixFileSystem files(dir / "Trash");
    ASSERT_EQ(files.CopyNoReplace(dir / "small.mp3", dir / "out/a.mp3"), FileOutcome::Done);
  });
  EXPECT_TRUE(fs::exists(dir / ("out/" + leftover))) << "a minute has not passed";
  const timespec old[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 61, 0}};
  ::utimensat(AT_FDCWD, (dir / ("out/" + leftover)).c_str(), old, 0);
  AsUser([&] {
    PosixFileSystem files(dir / "Trash");
    ASSERT_EQ(files.CopyNoReplace(dir / "small.mp3", dir / "out/b.mp3"), FileOutcome::Done);
  });
  EXPECT_EQ(Listing(dir / "out"), (Names{"a.mp3", "b.mp3"}));
}

}  // namespace
}  // namespace qel::test
