// Titles of 10,000 tagged MP3, FLAC and Ogg files read by the folder scan's
// reader, against TagLib reading the same files (when built with it) and
// against the floor: opening each file, reading its first 4 KiB, closing it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/metadata/metadata.h"

#ifdef QEL_BENCH_TAGLIB
#include <fileref.h>
#include <tag.h>
#endif

namespace {

constexpr int kFiles = 10000;

std::string RepositoryFile(const std::string& relative) { return std::string(QEL_SOURCE_DIR) + "/" + relative; }

// 10,000 copies of each real fixture (made by ffmpeg with its muxers' tags),
// written once for the run and removed at exit.
struct Library {
  std::string root;
  std::vector<std::string> mp3, flac, ogg;
  Library() {
    char pattern[] = "/tmp/qel-metadata-bench-XXXXXX";
    root = mkdtemp(pattern);
    Fill("tagged.mp3", ".mp3", mp3);
    Fill("tagged.flac", ".flac", flac);
    Fill("tagged.ogg", ".ogg", ogg);
  }
  ~Library() { std::filesystem::remove_all(root); }
  void Fill(const std::string& fixture, const std::string& ext, std::vector<std::string>& paths) {
    std::ifstream in(RepositoryFile("tests/data/metadata/" + fixture), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string bytes = ss.str();
    for (int i = 0; i < kFiles; ++i) {
      paths.push_back(root + "/Track " + std::to_string(i) + ext);
      std::ofstream(paths.back(), std::ios::binary) << bytes;
    }
  }
};

Library& Files() {
  static Library library;
  return library;
}

const std::vector<std::string>& Set(int which) {
  Library& l = Files();
  return which == 0 ? l.mp3 : which == 1 ? l.flac : l.ogg;
}

void Label(benchmark::State& state) {
  static const char* names[] = {"mp3", "flac", "ogg"};
  state.SetLabel(names[state.range(0)]);
  state.SetItemsProcessed(state.iterations() * kFiles);
}

void BM_ReadTitle(benchmark::State& state) {
  const auto& paths = Set(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    size_t total = 0;
    for (const auto& p : paths) total += qel::ReadTitle(p).size();
    if (total == 0) state.SkipWithError("no titles read");
    benchmark::DoNotOptimize(total);
  }
  Label(state);
}
BENCHMARK(BM_ReadTitle)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_OpenRead4KiBClose(benchmark::State& state) {
  const auto& paths = Set(static_cast<int>(state.range(0)));
  char buffer[4096];
  for (auto _ : state) {
    size_t total = 0;
    for (const auto& p : paths) {
      int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) continue;
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      total += n > 0 ? static_cast<size_t>(n) : 0;
      ::close(fd);
    }
    benchmark::DoNotOptimize(total);
  }
  Label(state);
}
BENCHMARK(BM_OpenRead4KiBClose)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

#ifdef QEL_BENCH_TAGLIB
void BM_TagLibTitle(benchmark::State& state) {
  const auto& paths = Set(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    size_t total = 0;
    for (const auto& p : paths) {
      TagLib::FileRef f(p.c_str(), false);
      if (!f.isNull() && f.tag()) total += f.tag()->title().to8Bit(true).size();
    }
    if (total == 0) state.SkipWithError("no titles read");
    benchmark::DoNotOptimize(total);
  }
  Label(state);
}
BENCHMARK(BM_TagLibTitle)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
