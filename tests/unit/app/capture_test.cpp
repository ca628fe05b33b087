#include "core/app/capture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "fakes/fakes.h"

namespace qel::test {
namespace {

TEST(CaptureFileName, MinutesSecondsAndMilliseconds) {
  EXPECT_EQ(CaptureFileName("song", 83456, 200), "song_01_23_456.bmp");
  EXPECT_EQ(CaptureFileName("base", 3723004, 90 * 60), "base_62_03_004.bmp");
  EXPECT_EQ(CaptureFileName("base", 3723004, 120 * 60), "base_062_03_004.bmp");
  EXPECT_EQ(CaptureFileName("base", 0, 5999), "base_00_00_000.bmp");
  EXPECT_EQ(CaptureFileName("100%s", 1000, 10), "100%s_00_01_000.bmp");
}

// A 2 x 2 picture: top row blue, red; bottom row green, white.
Picture Quad() {
  Picture p{2, 2, {}};
  p.pixels = {255, 0, 0, 255, 0, 0, 255, 255, 0, 255, 0, 255, 255, 255, 255, 255};
  return p;
}

uint32_t Le32(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 | static_cast<uint8_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

TEST(EncodeBmp, HeadersAndBottomUpRows) {
  const std::string b = EncodeBmp(Quad());
  ASSERT_EQ(b.size(), 54u + 16u);
  EXPECT_EQ(b.substr(0, 2), "BM");
  EXPECT_EQ(Le32(b, 2), 70u);
  EXPECT_EQ(Le32(b, 6), 0u);
  EXPECT_EQ(Le32(b, 10), 54u);
  EXPECT_EQ(Le32(b, 14), 40u);
  EXPECT_EQ(Le32(b, 18), 2u);
  EXPECT_EQ(Le32(b, 22), 2u);
  EXPECT_EQ(Le32(b, 26), 1u | 32u << 16);  // planes 1, 32 bits
  for (size_t at = 30; at < 54; at += 4) EXPECT_EQ(Le32(b, at), 0u) << at;
  // The bottom row (green, white) comes first.
  EXPECT_EQ(b.substr(54, 8), std::string("\0\xff\0\xff\xff\xff\xff\xff", 8));
  EXPECT_EQ(b.substr(62, 8), std::string("\xff\0\0\xff\0\0\xff\xff", 8));
}

struct CapturePlayer : FakePlayer {
  CapturePlayer() {
    state.entries = {{"/music/clip.mp4", "", 0}};
    state.currentIndex = 0;
    state.lastIndex = 0;
    state.lengthSeconds = 200;
    state.lengthPath = "/music/clip.mp4";
    device.On("status qel position", {0, "83456"});
  }
  void PlayVideo() {
    device.On("where qel source", {0, "0 0 2 2"});
    window.videoPicture = Quad();
  }
  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
};

TEST(CaptureToFile, AsksForTheFolderOnceThenWritesThere) {
  CapturePlayer p;
  p.PlayVideo();
  const std::string folder = p.home / "shots";
  std::filesystem::create_directory(folder);
  p.window.folderDialogAnswer = folder;
  CaptureToFile(p.state);
  ASSERT_EQ(p.window.folderDialogs.size(), 1u);
  EXPECT_EQ(p.window.folderDialogs[0].first, "移動するフォルダを選択してください。");
  EXPECT_EQ(p.state.settings.CaptureDir, folder);
  EXPECT_EQ(p.Read(folder + "/clip_01_23_456.bmp"), EncodeBmp(Quad()));

  // The same place again replaces the file, without a dialog.
  p.window.videoPicture->pixels[0] = 7;
  CaptureToFile(p.state);
  EXPECT_EQ(p.window.folderDialogs.size(), 1u);
  EXPECT_EQ(p.Read(folder + "/clip_01_23_456.bmp"), EncodeBmp(*p.window.videoPicture));

  // A folder that has gone brings the dialog back; cancelled, nothing.
  std::filesystem::remove_all(folder);
  p.window.folderDialogAnswer.reset();
  CaptureToFile(p.state);
  EXPECT_EQ(p.window.folderDialogs.size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(CaptureToFile, TheCoverAtItsOwnSizeWithoutAVideo) {
  CapturePlayer p;
  p.state.settings.CaptureDir = p.home.path;
  Picture cover{3, 1, std::vector<uint8_t>(12, 0x80)};
  p.state.panePicture = cover;
  p.state.paneBackdrop = Picture{3, 1, std::vector<uint8_t>(12, 0x20)};
  CaptureToFile(p.state);
  EXPECT_EQ(p.Read(p.home / "clip_01_23_456.bmp"), EncodeBmp(cover));

  // With neither, nothing is written.
  p.state.panePicture.reset();
  std::filesystem::remove(p.home / "clip_01_23_456.bmp");
  CaptureToFile(p.state);
  CaptureToClipboard(p.state);
  EXPECT_FALSE(std::filesystem::exists(p.home / "clip_01_23_456.bmp"));
  EXPECT_TRUE(p.desktop.clipboardPictures.empty());
}

TEST(CaptureToFile, AFailedWriteLeavesNothingBehind) {
  CapturePlayer p;
  p.PlayVideo();
  p.state.settings.CaptureDir = p.home.path;
  // A folder holds the name: the rename into place fails.
  std::filesystem::create_directory(p.home / "clip_01_23_456.bmp");
  std::filesystem::create_directory(p.home / "clip_01_23_456.bmp/inside");
  CaptureToFile(p.state);
  EXPECT_TRUE(p.window.messages.empty());
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(p.home.path)) files += entry.is_regular_file();
  EXPECT_EQ(files, 0u);
  EXPECT_TRUE(std::filesystem::is_directory(p.home / "clip_01_23_456.bmp/inside"));
}

TEST(CaptureToClipboard, TheVideoWindowsPicture) {
  CapturePlayer p;
  p.PlayVideo();
  CaptureToClipboard(p.state);
  ASSERT_EQ(p.desktop.clipboardPictures.size(), 1u);
  EXPECT_EQ(p.desktop.clipboardPictures[0].pixels, Quad().pixels);
}

}  // namespace
}  // namespace qel::test
