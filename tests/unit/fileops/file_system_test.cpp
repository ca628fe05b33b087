// The file-system seam over real temporary folders on one disk.
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "core/fileops/places.h"
#include "core/fileops/posix_files.h"
#include "core/fileops/trash.h"
#include "fileops_fixture.h"

namespace qel::test {
namespace {

using Names = std::vector<std::string>;

struct Seam : ::testing::Test {
  TempDir dir;
  PosixFileSystem files{dir / "home/Trash"};
  std::string Write(const std::string& name, const std::string& bytes, mode_t mode = 0644) {
    WriteAll(dir / name, bytes);
    ::chmod((dir / name).c_str(), mode);
    return dir / name;
  }
};

TEST_F(Seam, CopyKeepsBytesModeAndTimeAndNeverTakesAName) {
  const std::string song = Write("a/song.mp3", std::string(300000, 'x') + "end", 0640);
  const timespec old[2] = {{1000000000, 0}, {1200000000, 500}};
  ASSERT_EQ(::utimensat(AT_FDCWD, song.c_str(), old, 0), 0);
  fs::create_directories(dir / "b");
  ASSERT_EQ(files.CopyNoReplace(song, dir / "b/song.mp3"), FileOutcome::Done);
  EXPECT_EQ(ReadAll(dir / "b/song.mp3"), ReadAll(song));
  struct stat st;
  ASSERT_EQ(::stat((dir / "b/song.mp3").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1200000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 500);

  Write("b/taken.mp3", "mine");
  EXPECT_EQ(files.CopyNoReplace(song, dir / "b/taken.mp3"), FileOutcome::Exists);
  EXPECT_EQ(ReadAll(dir / "b/taken.mp3"), "mine");
  // A pipe under a media name is never waited on; nothing is left behind.
  ASSERT_EQ(::mkfifo((dir / "a/pipe.mp3").c_str(), 0644), 0);
  EXPECT_EQ(files.CopyNoReplace(dir / "a/pipe.mp3", dir / "b/pipe.mp3"), FileOutcome::Failed);
  EXPECT_EQ(files.CopyNoReplace(dir / "a/gone.mp3", dir / "b/gone.mp3"), FileOutcome::Failed);
  EXPECT_EQ(Listing(dir / "b"), (Names{"song.mp3", "taken.mp3"}));
}

TEST_F(Seam, MoveOnOneDiskIsARenameAndNeverTakesAName) {
  const std::string song = Write("a/song.mp3", "song");
  struct stat before, after;
  ASSERT_EQ(::stat(song.c_str(), &before), 0);
  Write("b/song.mp3", "other");
  EXPECT_EQ(files.MoveNoReplace(song, dir / "b/song.mp3"), FileOutcome::Exists);
  EXPECT_EQ(ReadAll(song), "song");
  EXPECT_EQ(ReadAll(dir / "b/song.mp3"), "other");
  ASSERT_EQ(files.MoveNoReplace(song, dir / "b/tune.mp3"), FileOutcome::Done);
  ASSERT_EQ(::stat((dir / "b/tune.mp3").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_FALSE(files.Exists(song));
  EXPECT_EQ(files.MoveNoReplace(song, dir / "b/again.mp3"), FileOutcome::Failed);
  EXPECT_TRUE(files.MakeFolder(dir / "b/new"));
  EXPECT_TRUE(files.MakeFolder(dir / "b/new"));  // there already
  EXPECT_FALSE(files.MakeFolder(dir / "b/tune.mp3"));
}

TEST_F(Seam, TrashKeepsEveryDeletedFileWithItsOrigin) {
  Write("a/song.mp3", "first");
  ASSERT_TRUE(files.MoveToTrash(dir / "a/song.mp3"));
  Write("a/song.mp3", "second");
  ASSERT_TRUE(files.MoveToTrash(dir / "a/song.mp3"));
  EXPECT_EQ(ReadAll(dir / "home/Trash/files/song.mp3"), "first");
  EXPECT_EQ(ReadAll(dir / "home/Trash/files/song.2.mp3"), "second");
  const std::string info = ReadAll(dir / "home/Trash/info/song.2.mp3.trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + dir / "a/song.mp3" + "\nDeletionDate=", 0), 0u) << info;
  EXPECT_EQ(info.size(), std::string("[Trash Info]\nPath=\nDeletionDate=2026-01-01T00:00:00\n").size() +
                             (dir / "a/song.mp3").size());
  fs::create_directories(dir / "a/folder");
  EXPECT_FALSE(files.MoveToTrash(dir / "a/folder"));  // files only
  EXPECT_FALSE(files.MoveToTrash(dir / "a/gone.mp3"));

  EXPECT_EQ(EscapeTrashPath("/m/a b/曲%.mp3"), "/m/a%20b/%E6%9B%B2%25.mp3");
  const std::string longName = std::string(250, 'a') + "あいう.mp3";
  for (int n : {1, 12345}) {
    const std::string entry = TrashEntryName(longName, n);
    EXPECT_LE(entry.size() + 10, 255u);
    EXPECT_EQ(entry.substr(entry.size() - 4), ".mp3");
  }
  // Cut before a character that does not fit whole.
  EXPECT_EQ(TrashEntryName(std::string(238, 'x') + "あ.mp3", 2), std::string(238, 'x') + ".2.mp3");
}

TEST_F(Seam, TheDustFolderStaysWithTheUser) {
  fs::create_directories(dir / "home/music/live");
  fs::create_directories(dir / "shared/music");
  ::chmod((dir / "shared").c_str(), 01777);
  EXPECT_EQ(DustFolderOf(dir / "home/music/live/a.mp3", dir / "home"), RealPath(dir / "home") + "/Qel_DUST");
  EXPECT_EQ(DustFolderOf(dir / "shared/music/a.mp3", ""), RealPath(dir / "shared/music") + "/Qel_DUST");
  EXPECT_TRUE(SameFolder(dir / "home/music/live/../../music", dir / "home/music"));
  EXPECT_FALSE(SameFolder(dir / "home/music", dir / "home/music/live"));
  EXPECT_FALSE(SameFolder(dir / "nowhere", dir / "nowhere"));
}

}  // namespace
}  // namespace qel::test
