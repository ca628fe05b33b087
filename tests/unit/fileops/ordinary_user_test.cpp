// The file operations' faults as an ordinary user meets them, without
// mounting anything: a disk that fills up (a file-size limit), another file
// system (/dev/shm), folders the user may not write to. Under root the
// checks run in a child that dropped to an ordinary uid: root writes into a
// read-only folder and the faults would not show.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include "core/fileops/posix_files.h"
#include "fakes/as_user.h"
#include "fileops_fixture.h"

namespace qel::test {
namespace {

using Names = std::vector<std::string>;

// A folder of the test user's on another file system than /tmp, when one
// can be had.
struct OtherDrive {
  std::string path;
  OtherDrive() {
    struct stat shm, tmp;
    if (::stat("/dev/shm", &shm) != 0 || ::stat("/tmp", &tmp) != 0 || shm.st_dev == tmp.st_dev) return;
    char pattern[] = "/dev/shm/qel-test-XXXXXX";
    if (!::mkdtemp(pattern)) return;
    path = pattern;
    GiveTo(path, TestUser());
  }
  ~OtherDrive() {
    if (!path.empty()) fs::remove_all(path);
  }
};

// A file-size limit stands in for a full disk: a write past it fails with
// EFBIG as ENOSPC would.
void LimitFileSize(rlim_t bytes) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{bytes, bytes};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
}

TEST(OrdinaryUser, ACopyOrMoveThatCannotCompleteLeavesTheSourceAndNoPartialFile) {
  OtherDrive drive;
  TempDir dir;
  ::chmod(dir.path.c_str(), 0755);
  const std::string bytes(200000, 'q');
  for (const char* folder : {"music", "locked", "music-locked"}) fs::create_directories(dir / folder);
  WriteAll(dir / "music/song.mp3", bytes);
  WriteAll(dir / "music-locked/song.mp3", bytes);
  GiveTo(dir.path, TestUser());
  ::chmod((dir / "locked").c_str(), 0555);
  ::chmod((dir / "music-locked").c_str(), 0555);
  struct Case {
    const char* what;
    std::string from, to;
    bool move, full;
    bool otherDrive = false;
  } cases[] = {
      {"copy onto a full disk", dir / "music/song.mp3", dir / "copy.mp3", false, true},
      {"copy into a read-only folder", dir / "music/song.mp3", dir / "locked/song.mp3", false, false},
      {"move into a read-only folder", dir / "music/song.mp3", dir / "locked/song.mp3", true, false},
      {"move across drives onto a full disk", dir / "music/song.mp3", drive.path + "/song.mp3", true, true, true},
      {"move across drives out of a read-only folder", dir / "music-locked/song.mp3", drive.path + "/song.mp3", true,
       false, true},
  };
  for (const Case& c : cases) {
    if (c.otherDrive && drive.path.empty()) continue;  // no second file system here
    AsUser([&] {
      if (c.full) LimitFileSize(64 * 1024);
      PosixFileSystem files(dir / "Trash");
      const FileOutcome outcome = c.move ? files.MoveNoReplace(c.from, c.to) : files.CopyNoReplace(c.from, c.to);
      EXPECT_EQ(outcome, FileOutcome::Failed) << c.what;
    });
    EXPECT_EQ(ReadAll(c.from), bytes) << c.what;
    EXPECT_FALSE(fs::exists(c.to)) << c.what;
    const std::string folder = fs::path(c.to).parent_path();
    for (const auto& e : fs::directory_iterator(folder))
      EXPECT_NE(e.path().filename().string().rfind(".qel-", 0), 0u) << c.what << ": " << e.path();
  }
}

// The two failure branches of the list: a move or a delete that fails on
// disk keeps the file and its row, and says so.
TEST(OrdinaryUser, AMoveOrATrashThatFailsOnDiskKeepsTheRow) {
  AsUser([] {
    {
      FilePlayer p({"a.mp3", "b.mp3"});
      fs::create_directories(p.root / "locked");
      ::chmod((p.root / "locked").c_str(), 0555);
      p.window.folderDialogAnswer = p.root / "locked";
      p.Select({0});
      p.Command(1200);
      EXPECT_EQ(p.Texts(), Names{"a.mp3 の移動に失敗しました。"});
      EXPECT_EQ(p.Names(), (Names{"a.mp3", "b.mp3"}));
      EXPECT_EQ(ReadAll(p.music + "/a.mp3"), "a.mp3");
    }
    {
      FilePlayer p({"a.mp3", "b.mp3"});
      // No Trash can be made: the home holding it is read-only.
      ::chmod(p.home.path.c_str(), 0555);
      p.window.messageAnswers = {MessageResult::Ok};
      p.Select({1});
      p.Command(1400);
      ::chmod(p.home.path.c_str(), 0755);
      EXPECT_EQ(p.Texts(), (Names{"選択されたファイルを削除します。", "b.mp3 の削除に失敗しました。"}));
      EXPECT_EQ(p.Names(), (Names{"a.mp3", "b.mp3"}));
      EXPECT_EQ(ReadAll(p.music + "/b.mp3"), "b.mp3");
    }
  });
}

}  // namespace
}  // namespace qel::test
