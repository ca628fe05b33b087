// The cost of one step through the play sequence and of one dispatched
// command over a large list, with a device that answers at once.
#include <benchmark/benchmark.h>

#include "core/app/commands.h"
#include "core/playback/order.h"

namespace {

class NullDevice : public qel::MediaDevice {
 public:
  int Send(const std::string&, std::string* answer) override {
    if (answer) answer->clear();
    return 0;
  }
  std::vector<std::string> MidiOutputDevices() override { return {}; }
  void SetMidiOutputVolume(int, double) override {}
  void SetWaveOutputVolume(double) override {}
  void SetReplayGain(qel::ReplayGain) override {}
  std::vector<std::string> PlayableExtensions() override { return {}; }
};

void BM_StepThroughSequence(benchmark::State& st) {
  NullDevice device;
  qel::AppState state;
  state.platform.device = &device;
  state.mciAlias = "qel";
  const int n = static_cast<int>(st.range(0));
  for (int i = 0; i < n; ++i) state.entries.push_back({"/nonexistent/" + std::to_string(i) + ".mp3", "", i});
  state.lastIndex = n - 1;
  state.currentIndex = n / 2;
  for (auto _ : st) {
    qel::AdvancePlayback(state, true, true, state.currentIndex);
    benchmark::DoNotOptimize(state.currentIndex);
  }
}
BENCHMARK(BM_StepThroughSequence)->Arg(1000)->Arg(100000);

void BM_DispatchSeekCommand(benchmark::State& st) {
  NullDevice device;
  qel::AppState state;
  state.platform.device = &device;
  state.mciAlias = "qel";
  for (auto _ : st) benchmark::DoNotOptimize(qel::DispatchCommand(state, 4100, 0));
}
BENCHMARK(BM_DispatchSeekCommand);

}  // namespace

BENCHMARK_MAIN();
