#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/metadata/metadata.h"
#include "fakes/fakes.h"
#include "layouts.h"

namespace qel::test {
namespace {

using namespace layouts;

std::string MpegFile(size_t bytes) {
  std::string s = std::string("\xFF\xFB\x90\x00", 4);  // MPEG-1 Layer III, 128 kbit/s
  return s + std::string(bytes - 4, 'a');
}

std::vector<std::string> ProbeCommands(const std::string& path) {
  return {"open \"" + path + "\" alias Qel_ type mpegvideo shareable", "status Qel_ length", "stop Qel_", "close Qel_"};
}

TEST(ReadLength, ProbeFirstForMostFiles) {
  TempDir dir;
  FakePlayer p;
  std::string mp3 = dir.Write("song.mp3", MpegFile(32000));  // 2 s by its bitrate
  p.device.On("status Qel_ length", {0, "1500"});
  EXPECT_EQ(ReadLength(p.state, mp3), 2);
  EXPECT_EQ(p.device.commands, ProbeCommands(mp3));

  FakePlayer q;
  q.device.On("status Qel_ length", {0, "1000"});
  EXPECT_EQ(ReadLength(q.state, mp3), 1);
  FakePlayer r;
  r.device.On("status Qel_ length", {0, "0"});  // falls through to the header
  EXPECT_EQ(ReadLength(r.state, mp3), 2);
}

TEST(ReadLength, HeadersStandBehindTheProbe) {
  TempDir dir;
  FakePlayer p;
  p.device.On("status Qel_ length", {263, ""});  // the probe fails
  EXPECT_EQ(ReadLength(p.state, dir.Write("a.MP3", MpegFile(48000))), 3);
  std::string wav = "RIFF" + LE(0, 4) + "WAVE" + "fmt " + LE(16, 4) + LE(1, 2) + LE(2, 2) + LE(44100, 4) +
                    LE(176400, 4) + LE(4, 2) + LE(16, 2) + "data" + LE(176400, 4) + Z(176400);
  EXPECT_EQ(ReadLength(p.state, dir.Write("b.wav", wav)), 1);
  EXPECT_EQ(ReadLength(p.state, dir.Write("b.wave", wav)), 1);
  std::string flac = "fLaC" + std::string("\x80\0\0\x22", 4) + Z(10) + std::string("\x0A\xC4\x42\0", 4) + BE(441000, 4) + Z(16);
  EXPECT_EQ(ReadLength(p.state, dir.Write("c.flac", flac)), 10);
  EXPECT_EQ(ReadLength(p.state, dir.Write("c.fla", flac)), 10);
  EXPECT_EQ(ReadLength(p.state, dir.Write("m.mid", "MThd" + Z(40))), 0);
  EXPECT_EQ(ReadLength(p.state, dir.Write("o.ogg", "OggS" + Z(40))), 0);
  // A FLAC header under another extension is not read.
  EXPECT_EQ(ReadLength(p.state, dir.Write("c.ogg", flac)), 0);
}

TEST(ReadLength, FlacStatesItsLengthWithoutTheDevice) {
  TempDir dir;
  FakePlayer p;
  p.device.On("status Qel_ length", {0, "99000"});
  std::string flac = "fLaC" + std::string("\x80\0\0\x22", 4) + Z(10) + std::string("\x0A\xC4\x42\0", 4) + BE(441001, 4) + Z(16);
  EXPECT_EQ(ReadLength(p.state, dir.Write("c.flac", flac)), 11);  // 10.00002 s, rounded up
  EXPECT_EQ(ReadLength(p.state, dir.Write("c.FLA", flac)), 11);
  EXPECT_TRUE(p.device.commands.empty()) << "the media device was asked for a length the header holds";
  // A STREAMINFO without a sample count is measured by the device.
  std::string unknown = "fLaC" + std::string("\x80\0\0\x22", 4) + Z(10) + std::string("\x0A\xC4\x42\0", 4) + BE(0, 4) + Z(16);
  const std::string path = dir.Write("u.flac", unknown);
  EXPECT_EQ(ReadLength(p.state, path), 99);
  EXPECT_EQ(p.device.commands, ProbeCommands(path));
}

TEST(ReadLength, VideoHeadersFirst) {
  TempDir dir;
  FakePlayer p;
  p.device.On("status Qel_ length", {0, "99000"});
  std::string mvhd = BE(108, 4) + "mvhd" + Z(12) + BE(600, 4) + BE(90000, 4) + Z(80);
  EXPECT_EQ(ReadLength(p.state, dir.Write("v.mp4", Box("moov", mvhd))), 150);
  EXPECT_EQ(ReadLength(p.state, dir.Write("s.mpg", MpegFile(16000))), 1);
  EXPECT_TRUE(p.device.commands.empty());
  // A program stream is no MPEG audio: the probe measures it.
  std::string ps = dir.Write("p.mpg", std::string("\0\0\x01\xBA", 4) + Z(1000));
  EXPECT_EQ(ReadLength(p.state, ps), 99);
  EXPECT_EQ(p.device.commands, ProbeCommands(ps));
  // A header that yields nothing falls through to the probe.
  p.device.Clear();
  EXPECT_EQ(ReadLength(p.state, dir.Write("x.mkv", "nothing")), 99);
  EXPECT_EQ(ReadLength(p.state, dir.Write("x.avi", "nothing")), 99);
  EXPECT_EQ(p.device.commands.size(), 8u);
}

TEST(ReadLength, NothingToMeasure) {
  FakePlayer p;
  EXPECT_EQ(ReadLength(p.state, ""), 0);
  EXPECT_TRUE(p.device.commands.empty());
  EXPECT_EQ(ReadLength(p.state, "/nonexistent/qel/x.mp3"), 0);  // the probe is still asked
  EXPECT_EQ(p.device.commands.size(), 4u);
  AppState bare;  // no device yet: only the headers answer
  TempDir dir;
  EXPECT_EQ(ReadLength(bare, dir.Write("a.mp3", MpegFile(32000))), 2);
}

TEST(ReadTitle, ChosenByExtensionOnly) {
  TempDir dir;
  std::string tag = Tag(3, Frame(3, "TIT2", std::string("\0Tagged", 7)));
  EXPECT_EQ(ReadTitle(dir.Write("a.mp3", tag)), "Tagged");
  EXPECT_EQ(ReadTitle(dir.Write("B.Mp3", tag)), "Tagged");
  EXPECT_EQ(ReadTitle(dir.Write("c.mp4", tag)), "");
  EXPECT_EQ(ReadTitle(dir.Write("mp3", tag)), "");
  EXPECT_EQ(ReadTitle(dir.Write("d.ogg", OggStream(1, {VorbisIdPacket()}) + OggStream(1, {VorbisCommentPacket({"title=Low"})}, 255, 1))), "Low");
  EXPECT_EQ(ReadTitle(dir.Write("e.fla", "fLaC" + std::string("\x84\0\0", 4).substr(0, 1) + BE(Comments({"TITLE=F"}).size(), 3) + Comments({"TITLE=F"}))), "F");
  EXPECT_EQ(ReadTitle(dir.Write("f.mid", "MThd" + BE(6, 4) + Z(6) + "MTrk" + BE(8, 4) + std::string("\0\xFF\x03\x04Tune", 8))), "Tune");
  EXPECT_EQ(ReadTitle(dir.path() + "/missing.mp3"), "");
  EXPECT_EQ(ReadTitle(""), "");
  // A folder or a pipe named like a media file reads as nothing, at once.
  std::filesystem::create_directory(dir.path() + "/folder.mp3");
  EXPECT_EQ(ReadTitle(dir.path() + "/folder.mp3"), "");
  std::string fifo = dir.path() + "/pipe.ogg";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadTitle(fifo), "");
}

TEST(ReadLyricsAndPicture, Mp3Only) {
  TempDir dir;
  FakePlayer p;
  std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + BE(13, 4) + "IHDR" + BE(3, 4) + BE(2, 4) + Z(5);
  std::string tag = Tag(3, Frame(3, "USLT", std::string("\0eng\0Words", 10)) +
                               Frame(3, "APIC", std::string("\0image/png\0\3\0", 13) + png));
  MediaInfo info = ReadLyricsAndPicture(p.state, dir.Write("a.mp3", tag));
  EXPECT_EQ(info.lyrics, "Words");
  ASSERT_TRUE(info.picture);
  EXPECT_EQ(info.picture->width, 3);
  EXPECT_EQ(info.picture->height, 2);
  info = ReadLyricsAndPicture(p.state, dir.Write("a.mpg", tag));
  EXPECT_EQ(info.lyrics, "");
  EXPECT_FALSE(info.picture);
  EXPECT_EQ(p.images.calls, 1);
  AppState bare;  // no decoder: lyrics still come
  EXPECT_EQ(ReadLyricsAndPicture(bare, dir.path() + "/a.mp3").lyrics, "Words");
}

}  // namespace
}  // namespace qel::test
