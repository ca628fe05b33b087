// Engine timings: the length probe per format (warm cache) and the time from
// "open" to "playing". CPU while playing is compared with mpv by
// bench/engine-cpu.sh.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "engine/device.h"

namespace {

const std::string kData = QEL_ENGINE_DATA;

// As the program measures a file that is not playing: the probe alias.
void Probe(benchmark::State& state, const char* file) {
  qel::engine::Engine engine([](std::function<void()>) {});
  std::string open = "open \"" + kData + "/" + file + "\" alias Qel_";
  std::string length;
  for (auto _ : state) {
    engine.Send(open);
    engine.Send("status Qel_ length", &length);
    engine.Send("close Qel_");
  }
  if (length.empty() || length == "0") state.SkipWithError("no length");
}
BENCHMARK_CAPTURE(Probe, mp3, "tone.mp3")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Probe, flac, "tone.flac")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Probe, ogg, "tone.ogg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Probe, mp4, "clip.mp4")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Probe, mid, "song.mid")->Unit(benchmark::kMillisecond);

void OpenToPlaying(benchmark::State& state, const char* file) {
  setenv("QEL_AUDIO_OUTPUT", "null", 1);
  qel::engine::Engine engine([](std::function<void()>) {});
  std::string open = "open \"" + kData + "/" + file + "\" alias b";
  for (auto _ : state) {
    engine.Send(open);
    engine.Send("play b");
    state.PauseTiming();
    engine.Send("close b");
    state.ResumeTiming();
  }
}
BENCHMARK_CAPTURE(OpenToPlaying, mp3, "tone.mp3")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenToPlaying, mp4, "clip.mp4")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenToPlaying, mid, "song.mid")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
