// The master volume's cost per call on the user-interface thread, against a
// private PulseAudio daemon: a slider drag reads or sets it at every step.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "desktop/pulse_volume.h"
#include "private_pulse.h"

namespace {

using qel::desktop::PulseVolume;

// One daemon for the whole run, in a folder removed at exit.
struct Daemon {
  std::string folder;
  std::unique_ptr<qel::test::PrivatePulse> pulse;
  std::string error;
  bool up = false;
  Daemon() {
    char pattern[] = "/tmp/qel-bench-pulse-XXXXXX";
    folder = mkdtemp(pattern);
    pulse = std::make_unique<qel::test::PrivatePulse>(folder);
    setenv("HOME", (folder + "/home").c_str(), 1);
    setenv("PULSE_RUNTIME_PATH", pulse->RuntimeDir().c_str(), 1);
    up = pulse->Start(&error);
  }
  ~Daemon() {
    pulse.reset();
    std::filesystem::remove_all(folder);
  }
  bool Use(benchmark::State& state) {
    if (!up) state.SkipWithError(error.c_str());
    setenv("PULSE_SERVER", pulse->Server().c_str(), 1);
    return up;
  }
};

Daemon& TheDaemon() {
  static Daemon daemon;
  return daemon;
}

void BM_ReadVolume(benchmark::State& state) {
  if (!TheDaemon().Use(state)) return;
  PulseVolume volume;
  volume.Volume();  // connected before the timing
  for (auto _ : state) benchmark::DoNotOptimize(volume.Volume());
}
BENCHMARK(BM_ReadVolume);

void BM_SetVolume(benchmark::State& state) {
  if (!TheDaemon().Use(state)) return;
  PulseVolume volume;
  volume.Volume();
  int step = 0;
  for (auto _ : state) benchmark::DoNotOptimize(volume.SetVolume((step++ % 100) / 100.0));
}
BENCHMARK(BM_SetVolume);

// The first call of a run: thread, connection and handshake.
void BM_ConnectAndRead(benchmark::State& state) {
  if (!TheDaemon().Use(state)) return;
  for (auto _ : state) {
    PulseVolume volume;
    benchmark::DoNotOptimize(volume.Volume());
  }
}
BENCHMARK(BM_ConnectAndRead)->Unit(benchmark::kMillisecond);

// No server at all: what a drag costs on a machine without sound.
void BM_ReadWithoutServer(benchmark::State& state) {
  TheDaemon();
  setenv("PULSE_SERVER", "unix:/nonexistent/qel/native", 1);
  PulseVolume volume;
  for (auto _ : state) benchmark::DoNotOptimize(volume.Volume());
}
BENCHMARK(BM_ReadWithoutServer);

}  // namespace

BENCHMARK_MAIN();
