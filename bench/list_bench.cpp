// Scanning a real folder of 10,000 media files and sorting 100,000 paths.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/list/list.h"
#include "core/list/order.h"
#include "core/text/natural.h"

namespace {

// One folder of 10,000 empty media files (with a few others mixed in), made
// once for the whole run and removed at exit.
struct BigFolder {
  std::string root;
  BigFolder() {
    char pattern[] = "/tmp/qel-bench-XXXXXX";
    root = mkdtemp(pattern);
    for (int i = 0; i < 10000; ++i) {
      const char* ext = i % 3 == 0 ? ".mp3" : (i % 3 == 1 ? ".flac" : ".ogg");
      std::ofstream(root + "/Track " + std::to_string(i) + ext);
    }
    for (int i = 0; i < 200; ++i) std::ofstream(root + "/cover " + std::to_string(i) + ".jpg");
  }
  ~BigFolder() { std::filesystem::remove_all(root); }
};

BigFolder& Folder() {
  static BigFolder folder;
  return folder;
}

qel::AppState MediaState() {
  qel::AppState state;
  state.mediaExtensions = ".mp3.wave.mid.flac.ogg.wav.m4a.mp4.m3u.m3u8.qel";
  return state;
}

void BM_ScanFolder10000(benchmark::State& st) {
  const std::string& root = Folder().root;
  for (auto _ : st) {
    qel::AppState state = MediaState();
    qel::ScanFolder(state, root, false, "");
    benchmark::DoNotOptimize(state.entries.data());
    if (state.entries.size() != 10000) st.SkipWithError("wrong count");
  }
  st.SetItemsProcessed(st.iterations() * 10000);
}
BENCHMARK(BM_ScanFolder10000)->Unit(benchmark::kMillisecond);

void BM_ScanAndSortFolder10000(benchmark::State& st) {
  const std::string& root = Folder().root;
  for (auto _ : st) {
    qel::AppState state = MediaState();
    qel::ScanFolder(state, root, false, "");
    qel::SortEntries(state);
    benchmark::DoNotOptimize(state.entries.data());
  }
  st.SetItemsProcessed(st.iterations() * 10000);
}
BENCHMARK(BM_ScanAndSortFolder10000)->Unit(benchmark::kMillisecond);

// Paths as a music collection has them: artists, albums, numbered tracks,
// mixed case, some Japanese and accented names.
std::vector<qel::ListEntry> CollectionPaths(size_t count) {
  std::mt19937 gen(42);
  const char* artists[] = {"Beatles", "beatles", "Björk", "坂本龍一", "Ólafur Arnalds", "AC-DC", "the band",
                           "宇多田ヒカル", "Zed", "Émilie Simon"};
  const char* words[] = {"Intro", "live", "Demo", "曲", "Remix", "Take", "ｐａｒｔ", "Song", "été", "Ω"};
  const char* exts[] = {".mp3", ".MP3", ".flac", ".ogg", ".m4a"};
  std::vector<qel::ListEntry> out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    std::string path = "/home/user/Music/";
    path += artists[gen() % 10];
    path += " " + std::to_string(gen() % 40) + "/Album " + std::to_string(gen() % 12) + "/";
    path += std::to_string(gen() % 30) + " " + words[gen() % 10] + " " + std::to_string(gen() % 200);
    path += exts[gen() % 5];
    out.push_back({path, "", 0});
  }
  return out;
}

void BM_Sort100000Paths(benchmark::State& st) {
  const std::vector<qel::ListEntry> paths = CollectionPaths(100000);
  for (auto _ : st) {
    st.PauseTiming();
    qel::AppState state;
    state.entries = paths;
    st.ResumeTiming();
    qel::SortEntries(state);
    benchmark::DoNotOptimize(state.entries.data());
  }
  st.SetItemsProcessed(st.iterations() * 100000);
}
BENCHMARK(BM_Sort100000Paths)->Unit(benchmark::kMillisecond);

void BM_NaturalCompare(benchmark::State& st) {
  const std::string a = "/home/user/Music/Beatles 12/Album 3/07 Song 120.mp3";
  const std::string b = "/home/user/Music/beatles 12/Album 3/07 Song 19.mp3";
  for (auto _ : st) benchmark::DoNotOptimize(qel::NaturalCompare(a, b));
}
BENCHMARK(BM_NaturalCompare);

}  // namespace

BENCHMARK_MAIN();
