// Crafted files of 3 GiB (sparse, so they cost the disk nothing) whose size
// fields claim almost all of it: reading their title, length, lyrics and
// picture must neither allocate nor read what the fields claim. What the
// process really read comes from the kernel's count (/proc/self/io) and
// what it held from its peak resident size.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

#include "core/metadata/metadata.h"
#include "fakes/fakes.h"
#include "layouts.h"

namespace qel::test {
namespace {

using namespace layouts;

constexpr uint64_t kFileSize = 3ull << 30;
constexpr uint32_t kHuge = 0xBFF00000;  // most of the file, as a 32-bit size

// Bytes this process has read through read(2) and pread(2); -1 when the
// kernel does not say.
long long BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return -1;
}

long long PeakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

std::string Sparse(const TempDir& dir, const std::string& name, const std::string& head, const std::string& tail = "") {
  std::string path = dir.Write(name, head);
  EXPECT_EQ(truncate(path.c_str(), kFileSize), 0);
  if (!tail.empty()) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(kFileSize - tail.size());
    f << tail;
  }
  return path;
}

std::string Ebml(uint32_t id, const std::string& data, uint64_t claimed) {
  std::string s = BE(id, id > 0xFFFFFF ? 4 : id > 0xFFFF ? 3 : id > 0xFF ? 2 : 1);
  return s + char(0x01) + BE(claimed, 7) + data;
}

TEST(Bounds, HugeClaimsCostLittle) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  struct Case {
    const char* name;
    std::string path;
    long long maxRead;  // bytes
  };
  // One size field claiming most of the file, in each format.
  std::string mkvDuration = Ebml(0x1A45DFA3, Z(4), 4) + Ebml(0x18538067, "", kHuge) + Ebml(0x1549A966, "", kHuge) +
                            Element("\x2A\xD7\xB1", BE(1000000, 3)) + Ebml(0x4489, "", kHuge);
  std::string midi = "MThd" + BE(6, 4) + BE(1, 2) + BE(2, 2) + BE(96, 2) + "MTrk" + BE(kHuge, 4);
  std::string oggComment = "\x03vorbis" + LE(1, 4) + "v" + LE(2, 4) + LE(kHuge, 4) + "TITLE=";
  std::string ogg = OggStream(1, {VorbisIdPacket()}) + OggStream(1, {oggComment + std::string(255 * 40, 'x')}, 255, 1).substr(0, 4000);
  std::string m4a = Box("ftyp", "M4A " + Z(4)) + BE(kHuge, 4) + "moov" + BE(kHuge - 8, 4) + "udta" + BE(kHuge - 16, 4) +
                    "meta" + Z(4) + BE(kHuge - 28, 4) + "ilst" + BE(kHuge - 36, 4) + "\xA9nam" + BE(kHuge - 44, 4) + "data" +
                    BE(1, 4) + Z(4) + "t";
  std::string id3Max = std::string("ID3\x03\0\0\x7F\x7F\x7F\x7F", 10);
  std::string mp3 = id3Max + "TALB" + BE(0x0FFF0000, 4) + Z(2);
  std::string mp3Title = id3Max + "TIT2" + BE(0x0FFF0000, 4) + Z(2) + std::string("\0Huge", 5);
  std::string mp3Picture = id3Max + "APIC" + BE(0x0FFF0000, 4) + Z(2) + std::string("\0image/png\0\3\0", 13);
  std::string mp3Lyrics = id3Max + "USLT" + BE(0x0FFF0000, 4) + Z(2) + std::string("\0eng\0Words", 10);
  std::string mp3Unsync = std::string("ID3\x03\0\x80\x7F\x7F\x7F\x7F", 10) + "APIC" + BE(0x0FFF0000, 4) + Z(2);
  std::string flac = "fLaC" + std::string("\x04\xFF\xFF\xFF", 4) + LE(3, 4) + "ven" + LE(1, 4) + LE(kHuge, 4) + "TITLE=";
  std::string flacBlocks = "fLaC";
  for (int i = 0; i < 2000; ++i) flacBlocks += std::string("\x01\0\0\0", 4);  // empty padding blocks
  std::string asf = std::string("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16) + LE(kHuge, 8) +
                    LE(0xFFFFFFFF, 4) + "\x01\x02";
  for (int i = 0; i < 2000; ++i) asf += std::string(16, 'g') + LE(24, 8);
  std::string wav = "RIFF" + LE(kHuge, 4) + "WAVE";
  for (int i = 0; i < 2000; ++i) wav += "JUNK" + LE(0, 4);
  const Case cases[] = {
      {"a Matroska duration", Sparse(dir, "a.mkv", mkvDuration), 1 << 20},
      {"a MIDI track", Sparse(dir, "a.mid", midi), 2 << 20},
      {"an Ogg comment", Sparse(dir, "a.ogg", ogg), 1 << 20},
      {"MP4 boxes", Sparse(dir, "a.m4a", m4a), 1 << 20},
      {"an ID3v2 tag", Sparse(dir, "a.mp3", mp3, "TAG" + std::string(125, 'x')), 1 << 20},
      {"an ID3v2 title", Sparse(dir, "t.mp3", mp3Title), 1 << 20},
      {"an ID3v2 picture", Sparse(dir, "p.mp3", mp3Picture), 1 << 20},
      {"ID3v2 lyrics", Sparse(dir, "l.mp3", mp3Lyrics), 2 << 20},
      // Four walks (title, lyrics, timed lyrics, picture) look at 16 MiB
      // each at most.
      {"an unsynchronised ID3v2 tag", Sparse(dir, "u.mp3", mp3Unsync), 68 << 20},
      {"a FLAC comment", Sparse(dir, "a.flac", flac), 1 << 20},
      {"FLAC blocks", Sparse(dir, "b.flac", flacBlocks), 1 << 20},
      {"ASF objects", Sparse(dir, "a.wma", asf), 1 << 20},
      {"WAVE chunks", Sparse(dir, "a.wav", wav), 1 << 20},
  };
  FakePlayer p;
  p.device.On("status Qel_ length", {263, ""});
  for (const auto& c : cases) {
    long long readBefore = BytesRead();
    long long peakBefore = PeakKiB();
    ReadTitle(c.path);
    ReadLength(p.state, c.path);
    ReadLyricsAndPicture(p.state, c.path);
    long long readAfter = BytesRead();
    if (readBefore >= 0 && readAfter >= 0) {
      EXPECT_LT(readAfter - readBefore, c.maxRead) << c.name;
    }
    EXPECT_LT(PeakKiB() - peakBefore, 64 * 1024) << c.name;
  }
  EXPECT_EQ(p.images.calls, 0);  // no picture of hundreds of MiB was handed on
}

}  // namespace
}  // namespace qel::test
