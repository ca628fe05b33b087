// Titles of tagged MP3 (20,000), FLAC and Ogg (10,000 each) files, copies of
// the real fixtures made by ffmpeg, each MP3 with a title of its own:
// - qel-probe --titles over a whole set as one process, start-up included;
// - the folder scan's reader called in this process;
// - TagLib reading the same titles (when built with it);
// - the floor: opening each file, reading its first 4 KiB, closing it.
// The files are written to a temporary folder for the run and removed at
// exit. Wall-clock times throughout: the probe's work is done in a child.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/metadata/metadata.h"

#ifdef QEL_BENCH_TAGLIB
#include <fileref.h>
#include <tag.h>
#endif

extern char** environ;

namespace {

struct Set {
  const char* fixture;
  const char* ext;
  int files;
  std::vector<std::string> paths;
};

struct Library {
  std::string root;
  Set sets[3] = {{"tagged.mp3", ".mp3", 20000, {}}, {"tagged.flac", ".flac", 10000, {}}, {"tagged.ogg", ".ogg", 10000, {}}};
  Library() {
    char pattern[] = "/tmp/qel-metadata-bench-XXXXXX";
    root = mkdtemp(pattern);
    for (Set& set : sets) Fill(set);
  }
  ~Library() { std::filesystem::remove_all(root); }
  void Fill(Set& set) {
    std::ifstream in(std::string(QEL_SOURCE_DIR) + "/tests/data/metadata/" + set.fixture, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    if (bytes.empty()) {
      std::fprintf(stderr, "%s is missing\n", set.fixture);
      std::exit(1);
    }
    // Same length as the fixture's title, so the tag stays as it was.
    const size_t title = bytes.find("Morning Tone");
    for (int i = 0; i < set.files; ++i) {
      char name[24];
      std::snprintf(name, sizeof name, "Track #%05d", i % 100000);
      if (title != std::string::npos) bytes.replace(title, 12, name);
      std::string folder = root + "/" + (set.ext + 1) + "/" + std::to_string(i % 100);
      std::filesystem::create_directories(folder);
      set.paths.push_back(folder + "/Track " + std::to_string(i) + set.ext);
      std::ofstream(set.paths.back(), std::ios::binary) << bytes;
    }
  }
};

const Set& SetFor(benchmark::State& state) {
  static Library library;
  const Set& set = library.sets[state.range(0)];
  state.SetLabel(set.ext + 1);
  return set;
}

void Count(benchmark::State& state, const Set& set) { state.SetItemsProcessed(state.iterations() * set.files); }

#ifdef QEL_PROBE
// One `qel-probe --titles` over the whole set; its output is read and every
// line checked for a title, so a probe that printed nothing would not look
// fast.
void BM_ProbeTitlesProcess(benchmark::State& state) {
  const Set& set = SetFor(state);
  std::vector<char*> argv = {const_cast<char*>(QEL_PROBE), const_cast<char*>("--titles")};
  for (const auto& p : set.paths) argv.push_back(const_cast<char*>(p.c_str()));
  argv.push_back(nullptr);
  for (auto _ : state) {
    int out[2];
    if (pipe(out) != 0) state.SkipWithError("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) state.SkipWithError("spawn");
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    size_t lines = 0, titled = 0;
    char buffer[65536], previous = '\n';
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) {
      for (ssize_t i = 0; i < n; ++i) {
        lines += buffer[i] == '\n';
        titled += previous == '\t' && buffer[i] != '\n';
        previous = buffer[i];
      }
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (status != 0 || lines != set.paths.size() || titled != set.paths.size())
      state.SkipWithError("the probe did not list every title");
  }
  Count(state, set);
}
BENCHMARK(BM_ProbeTitlesProcess)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

void BM_ReadTitle(benchmark::State& state) {
  const Set& set = SetFor(state);
  for (auto _ : state) {
    size_t total = 0;
    for (const auto& p : set.paths) total += qel::ReadTitle(p).size();
    if (total == 0) state.SkipWithError("no titles read");
    benchmark::DoNotOptimize(total);
  }
  Count(state, set);
}
BENCHMARK(BM_ReadTitle)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef QEL_BENCH_TAGLIB
void BM_TagLibTitle(benchmark::State& state) {
  const Set& set = SetFor(state);
  for (auto _ : state) {
    size_t total = 0;
    for (const auto& p : set.paths) {
      TagLib::FileRef f(p.c_str(), false);
      if (!f.isNull() && f.tag()) total += f.tag()->title().to8Bit(true).size();
    }
    if (total == 0) state.SkipWithError("no titles read");
    benchmark::DoNotOptimize(total);
  }
  Count(state, set);
}
BENCHMARK(BM_TagLibTitle)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

void BM_OpenRead4KiBClose(benchmark::State& state) {
  const Set& set = SetFor(state);
  char buffer[4096];
  for (auto _ : state) {
    size_t total = 0;
    for (const auto& p : set.paths) {
      int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) continue;
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      total += n > 0 ? static_cast<size_t>(n) : 0;
      ::close(fd);
    }
    benchmark::DoNotOptimize(total);
  }
  Count(state, set);
}
BENCHMARK(BM_OpenRead4KiBClose)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
