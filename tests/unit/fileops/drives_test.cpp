// The file-system seam against other real file systems: small tmpfs mounts
// that fill up, that are read-only, or that are simply another drive.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <regex>

#include "core/fileops/places.h"
#include "core/fileops/posix_files.h"
#include "fileops_fixture.h"

namespace qel::test {
namespace {

using Names = std::vector<std::string>;

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

struct Drives : ::testing::Test {
  TempDir dir;  // on the disk
  PosixFileSystem files{dir / "home/Trash"};
  std::string bytes;
  std::string source = dir / "music/song.mp3";

  void SetUp() override {
    for (int i = 0; i < 200000; ++i) bytes.push_back(static_cast<char>(i * 7 + i / 256));
    WriteAll(source, bytes);
    ::chmod(source.c_str(), 0640);
    const timespec times[2] = {{1100000000, 0}, {1300000000, 250}};
    ::utimensat(AT_FDCWD, source.c_str(), times, 0);
  }
  void ExpectLikeSource(const std::string& path) {
    EXPECT_EQ(ReadAll(path), bytes);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1300000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 250);
  }
};

TEST_F(Drives, ACopyOrMoveThatCannotCompleteLeavesTheSourceAndNoPartialFile) {
  struct Case {
    const char* what;
    const char* options;
    bool readOnly, move;
  } cases[] = {
      {"copy onto a drive that fills up mid-file", "size=64k", false, false},
      {"move onto a drive that fills up mid-file", "size=64k", false, true},
      {"copy onto a read-only drive", "size=1m", true, false},
      {"move onto a read-only drive", "size=1m", true, true},
  };
  int i = 0;
  for (const Case& c : cases) {
    Tmpfs drive(dir / ("drive" + std::to_string(i++)), c.options);
    QEL_NEED_MOUNT(drive);
    fs::create_directories(drive / "in");
    if (c.readOnly) {
      ASSERT_TRUE(drive.ReadOnly());
    }
    const std::string target = drive / "in/song.mp3";
    const FileOutcome outcome = c.move ? files.MoveNoReplace(source, target) : files.CopyNoReplace(source, target);
    EXPECT_EQ(outcome, FileOutcome::Failed) << c.what;
    ExpectLikeSource(source);
    EXPECT_EQ(Listing(drive / "in"), Names{}) << c.what;  // not even a temporary file
  }
}

TEST_F(Drives, AMoveAcrossDrivesCopiesWholeBeforeTheSourceGoes) {
  Tmpfs drive(dir / "drive", "size=4m");
  QEL_NEED_MOUNT(drive);
  ASSERT_EQ(files.MoveNoReplace(source, drive / "song.mp3"), FileOutcome::Done);
  EXPECT_FALSE(files.Exists(source));
  ExpectLikeSource(drive / "song.mp3");
  fs::create_directories(dir / "back");
  ASSERT_EQ(files.MoveNoReplace(drive / "song.mp3", dir / "back/song.mp3"), FileOutcome::Done);
  ExpectLikeSource(dir / "back/song.mp3");
  EXPECT_EQ(Listing(drive.path), Names{});

  // A name taken on the other drive: nothing copied over it.
  WriteAll(drive / "song.mp3", "other");
  EXPECT_EQ(files.MoveNoReplace(dir / "back/song.mp3", drive / "song.mp3"), FileOutcome::Exists);
  EXPECT_EQ(ReadAll(drive / "song.mp3"), "other");
  ExpectLikeSource(dir / "back/song.mp3");

  // A source on a read-only drive cannot go: no copy is made of it.
  Tmpfs locked(dir / "locked", "size=1m");
  WriteAll(locked / "keep.mp3", "keep");
  ASSERT_TRUE(locked.ReadOnly());
  EXPECT_EQ(files.MoveNoReplace(locked / "keep.mp3", dir / "back/keep.mp3"), FileOutcome::Failed);
  EXPECT_FALSE(files.Exists(dir / "back/keep.mp3"));
  EXPECT_EQ(ReadAll(locked / "keep.mp3"), "keep");
}

TEST_F(Drives, ADeleteOnADriveLandsInThatDrivesTrash) {
  Tmpfs drive(dir / "drive", "size=1m,mode=0755");
  QEL_NEED_MOUNT(drive);
  const std::string uid = std::to_string(::getuid());
  WriteAll(drive / "Music/a b.mp3", "a");
  ASSERT_TRUE(files.MoveToTrash(drive / "Music/a b.mp3"));
  const std::string trash = drive / (".Trash-" + uid);
  EXPECT_EQ(ReadAll(trash + "/files/a b.mp3"), "a");
  EXPECT_FALSE(files.Exists(drive / "Music/a b.mp3"));
  EXPECT_FALSE(files.Exists(dir / "home/Trash"));
  // The origin is told from the drive's top, so the drive may be mounted
  // elsewhere later.
  const std::string info = ReadAll(trash + "/info/a b.mp3.trashinfo");
  EXPECT_TRUE(std::regex_match(info, std::regex("\\[Trash Info\\]\nPath=Music/a%20b\\.mp3\n"
                                                "DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
      << info;
  struct stat st;
  ASSERT_EQ(::stat(trash.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  // Another reader of the Trash finds the file where it came from.
  if (!Output("command -v trash-list").empty()) {
    const std::string listed = Output("XDG_DATA_HOME='" + dir / "home" + "' trash-list 2>/dev/null");
    EXPECT_NE(listed.find(" " + drive / "Music/a b.mp3\n"), std::string::npos) << listed;
  }

  // A shared .Trash counts only with its sticky bit.
  fs::create_directories(drive / ".Trash");
  ::chmod((drive / ".Trash").c_str(), 0777);
  WriteAll(drive / "b.mp3", "b");
  ASSERT_TRUE(files.MoveToTrash(drive / "b.mp3"));
  EXPECT_TRUE(files.Exists(trash + "/files/b.mp3"));
  ::chmod((drive / ".Trash").c_str(), 01777);
  WriteAll(drive / "c.mp3", "c");
  ASSERT_TRUE(files.MoveToTrash(drive / "c.mp3"));
  EXPECT_EQ(ReadAll(drive / (".Trash/" + uid + "/files/c.mp3")), "c");

  // No Trash on a read-only drive: the file stays.
  Tmpfs locked(dir / "locked", "size=1m");
  WriteAll(locked / "keep.mp3", "keep");
  ASSERT_TRUE(locked.ReadOnly());
  EXPECT_FALSE(files.MoveToTrash(locked / "keep.mp3"));
  EXPECT_EQ(ReadAll(locked / "keep.mp3"), "keep");
}

TEST_F(Drives, TheDustFolderOfAFileOnADriveIsAtTheDrivesTop) {
  Tmpfs drive(dir / "drive", "size=1m,mode=0755");
  QEL_NEED_MOUNT(drive);
  WriteAll(drive / "Music/Live/a.mp3", "a");
  const std::string dust = DustFolderOf(drive / "Music/Live/a.mp3", HomeFolder());
  EXPECT_EQ(dust, RealPath(drive.path) + "/Qel_DUST");
  EXPECT_EQ(TopOfFileSystem(drive / "Music/Live"), RealPath(drive.path));
}

}  // namespace
}  // namespace qel::test
