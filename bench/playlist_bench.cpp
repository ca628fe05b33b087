// Reading and writing a 100,000-entry playlist, in both encodings.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/playlist/playlist.h"
#include "fakes/fakes.h"

namespace {

constexpr int kEntries = 100000;

struct Fixture {
  std::string dir;
  std::vector<qel::ListEntry> entries;
  Fixture() {
    char tmpl[] = "/tmp/qel-bench-XXXXXX";
    dir = mkdtemp(tmpl);
    // 100 real files in 10 folders, named 10,000 times over by the list.
    for (int f = 0; f < 10; ++f) {
      std::string folder = dir + "/アルバム" + std::to_string(f);
      std::filesystem::create_directories(folder);
      for (int i = 0; i < 10; ++i) std::ofstream(folder + "/曲 " + std::to_string(i) + ".mp3");
    }
    for (int i = 0; i < kEntries; ++i) {
      int f = (i / 10) % 10, n = i % 10;
      entries.push_back({dir + "/アルバム" + std::to_string(f) + "/曲 " + std::to_string(n) + ".mp3",
                         i % 2 ? "タイトル " + std::to_string(i) : std::string(), i});
    }
  }
  ~Fixture() { std::filesystem::remove_all(dir); }
};

Fixture& Shared() {
  static Fixture f;
  return f;
}

void Write(benchmark::State& st, const char* name) {
  Fixture& f = Shared();
  qel::test::FakePlayer player;
  qel::AppState& state = player.state;
  state.entries = f.entries;
  state.lastIndex = kEntries - 1;
  state.nowDir = f.dir;
  player.window.saveDialogAnswer = qel::SaveChoice{f.dir + "/" + name, std::string(name).ends_with(".m3u") ? 1 : 0};
  for (auto _ : st) {
    player.window.titles.clear();
    qel::WritePlaylist(state, false, kEntries - 1, "/opt/qel/qel", false);
  }
  st.SetItemsProcessed(st.iterations() * kEntries);
}

void Read(benchmark::State& st, const char* name) {
  Fixture& f = Shared();
  for (auto _ : st) {
    qel::AppState state;
    int added = 0;
    qel::ReadPlaylist(state, f.dir + "/" + name, f.dir, 0, added, false, false);
    if (added != kEntries) st.SkipWithError("entries lost");
    benchmark::DoNotOptimize(state.entries.data());
  }
  st.SetItemsProcessed(st.iterations() * kEntries);
}

void BM_WriteUtf8(benchmark::State& st) { Write(st, "list.m3u8"); }
void BM_WriteLegacy(benchmark::State& st) { Write(st, "list.m3u"); }
void BM_ReadUtf8(benchmark::State& st) { Read(st, "list.m3u8"); }
void BM_ReadLegacy(benchmark::State& st) { Read(st, "list.m3u"); }

BENCHMARK(BM_WriteUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteLegacy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadLegacy)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
