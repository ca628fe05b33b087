// Every reader over every fixture cut at every short length and at random
// points beyond, over the fixtures with random bytes changed, and over
// random bytes: each must answer (anything) without reading outside its
// buffer, which AddressSanitizer checks in the sanitizer build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "core/metadata/metadata.h"
#include "core/metadata/readers.h"
#include "fakes/fakes.h"
#include "layouts.h"

namespace qel::test {
namespace {

using meta::Source;

std::vector<std::string> Fixtures() {
  std::vector<std::string> out;
  std::string dir = std::string(QEL_SOURCE_DIR) + "/tests/data/metadata";
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(e.path(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    out.push_back(ss.str());
  }
  return out;
}

// Runs every reader on the bytes; the sum of the answers keeps the work from
// being optimised away.
size_t RunAll(const std::string& bytes) {
  FakeImages images;
  size_t sum = 0;
  auto text = [&](std::string (*reader)(Source&)) {
    Source s = Source::Memory(bytes);
    sum += reader(s).size();
  };
  auto number = [&](int (*reader)(Source&)) {
    Source s = Source::Memory(bytes);
    sum += static_cast<size_t>(reader(s));
  };
  text(meta::Mp3Title);
  text(meta::FlacTitle);
  text(meta::OggTitle);
  text(meta::MidiTitle);
  text(meta::AsfTitle);
  text(meta::RealMediaTitle);
  text(meta::Mp4AudioTitle);
  number(meta::MpegAudioLength);
  number(meta::FlacLength);
  number(meta::AsfLength);
  number(meta::RealMediaLength);
  number(meta::Mp4Length);
  number(meta::MatroskaLength);
  number(meta::AviLength);
  number(meta::WavLength);
  Source s = Source::Memory(bytes);
  auto lp = meta::Mp3LyricsAndPicture(s, &images);
  sum += lp.lyrics.size() + (lp.picture ? 1 : 0);
  return sum;
}

TEST(Robustness, TruncatedFixtures) {
  auto fixtures = Fixtures();
  ASSERT_GE(fixtures.size(), 10u);
  std::mt19937 rng(20261208);
  for (const std::string& f : fixtures) {
    for (size_t n = 0; n <= std::min<size_t>(400, f.size()); ++n) RunAll(f.substr(0, n));
    for (int i = 0; i < 60 && f.size() > 400; ++i) RunAll(f.substr(0, 400 + rng() % (f.size() - 400)));
  }
}

TEST(Robustness, ChangedBytes) {
  std::mt19937 rng(7);
  for (std::string f : Fixtures()) {
    if (f.size() > 30000) f.resize(30000);  // the headers are at the start
    for (int round = 0; round < 150; ++round) {
      std::string m = f;
      int changes = 1 + rng() % 8;
      for (int i = 0; i < changes; ++i) {
        // Mostly near the start, where the headers and tags are.
        size_t at = (rng() % 4 == 0) ? rng() % m.size() : rng() % std::min<size_t>(m.size(), 600);
        m[at] = static_cast<char>(rng() % 3 == 0 ? 0xFF : rng());
      }
      RunAll(m);
    }
  }
}

TEST(Robustness, RandomBytesUnderEachExtension) {
  std::mt19937 rng(11);
  layouts::TempDir dir;
  FakePlayer p;
  p.device.On("status Qel_ length", {0, ""});
  const char* exts[] = {".mp3", ".mpg", ".mpeg", ".mid", ".wma", ".wmv", ".flac", ".fla", ".ogg", ".ra",
                        ".rm", ".m4a", ".mp4", ".mkv", ".avi", ".wav", ".wave", ".txt"};
  // Random bytes after each format's magic reach further into the readers.
  const std::string magics[] = {"", "ID3\x03", "ID3\x02", "ID3\x04", "fLaC", "OggS", "MThd", "RIFF", ".RMF", ".ra\xFD",
                                std::string("\x1A\x45\xDF\xA3", 4),
                                std::string("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16)};
  for (int i = 0; i < 300; ++i) {
    std::string bytes = magics[i % std::size(magics)];
    size_t n = rng() % 3000;
    for (size_t k = 0; k < n; ++k) bytes.push_back(static_cast<char>(rng() % 5 == 0 ? 0 : rng()));
    RunAll(bytes);
    const char* ext = exts[i % std::size(exts)];
    std::string path = dir.Write("r" + std::to_string(i) + ext, bytes);
    ReadTitle(path);
    ReadLength(p.state, path);
    ReadLyricsAndPicture(p.state, path);
  }
}

}  // namespace
}  // namespace qel::test
