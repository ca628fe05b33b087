// Titles of 20,000 tagged MP3 files (copies of the ffmpeg-made fixture,
// each with a title of its own) listed by `qel-probe --titles` as one
// process, start-up included, against the floor (opening each file,
// reading its first 4 KiB, closing it), against TagLib reading the same
// titles, and against the folder scan's reader called in this process.
// The files are written to a temporary folder for the run and removed at
// exit. Wall-clock times throughout: the probe's work is done in a child.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

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

constexpr int kFiles = 20000;

struct Library {
  std::string root;
  std::vector<std::string> paths;
  Library() {
    char pattern[] = "/tmp/qel-probe-bench-XXXXXX";
    root = mkdtemp(pattern);
    std::ifstream in(std::string(QEL_SOURCE_DIR) + "/tests/data/metadata/tagged.mp3", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const size_t title = bytes.find("Morning Tone");
    if (title == std::string::npos) {
      std::fprintf(stderr, "the tagged MP3 fixture is missing\n");
      std::exit(1);
    }
    for (int i = 0; i < kFiles; ++i) {
      // Same length as the fixture's title, so the tag stays as it was.
      char name[16];
      std::snprintf(name, sizeof name, "Track #%05d", i);
      bytes.replace(title, 12, name);
      paths.push_back(root + "/" + std::to_string(i % 100) + "/Track " + std::to_string(i) + ".mp3");
      std::filesystem::create_directories(std::filesystem::path(paths.back()).parent_path());
      std::ofstream(paths.back(), std::ios::binary) << bytes;
    }
  }
  ~Library() { std::filesystem::remove_all(root); }
};

Library& Files() {
  static Library library;
  return library;
}

void Count(benchmark::State& state) { state.SetItemsProcessed(state.iterations() * kFiles); }

#ifdef QEL_PROBE
// One `qel-probe --titles` over all the files; its output is read and its
// lines counted, so a probe that printed nothing would not look fast.
void BM_ProbeTitlesProcess(benchmark::State& state) {
  const auto& paths = Files().paths;
  std::vector<char*> argv = {const_cast<char*>(QEL_PROBE), const_cast<char*>("--titles")};
  for (const auto& p : paths) argv.push_back(const_cast<char*>(p.c_str()));
  argv.push_back(nullptr);
  for (auto _ : state) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) state.SkipWithError("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) state.SkipWithError("spawn");
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    size_t lines = 0, titled = 0;
    char buffer[65536];
    ssize_t n;
    char previous = '\n';
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
      for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] == '\n') ++lines;
        if (previous == '\t' && buffer[i] == 'T') ++titled;
        previous = buffer[i];
      }
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (status != 0 || lines != paths.size() || titled != paths.size()) state.SkipWithError("the probe did not list every title");
  }
  Count(state);
}
BENCHMARK(BM_ProbeTitlesProcess)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

void BM_OpenRead4KiBClose(benchmark::State& state) {
  const auto& paths = Files().paths;
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
  Count(state);
}
BENCHMARK(BM_OpenRead4KiBClose)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef QEL_BENCH_TAGLIB
void BM_TagLibTitles(benchmark::State& state) {
  const auto& paths = Files().paths;
  for (auto _ : state) {
    size_t total = 0;
    for (const auto& p : paths) {
      TagLib::FileRef f(p.c_str(), false);
      if (!f.isNull() && f.tag()) total += f.tag()->title().to8Bit(true).size();
    }
    if (total == 0) state.SkipWithError("no titles read");
    benchmark::DoNotOptimize(total);
  }
  Count(state);
}
BENCHMARK(BM_TagLibTitles)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

void BM_ReadTitleInProcess(benchmark::State& state) {
  const auto& paths = Files().paths;
  for (auto _ : state) {
    size_t total = 0;
    for (const auto& p : paths) total += qel::ReadTitle(p).size();
    if (total == 0) state.SkipWithError("no titles read");
    benchmark::DoNotOptimize(total);
  }
  Count(state);
}
BENCHMARK(BM_ReadTitleInProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
