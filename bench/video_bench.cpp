// The longest stall of the user-interface thread while ten exact seeks run
// through a playing clip: the real window and the real engine, on the
// display DISPLAY names (bench/video-bench.py starts one). The clip is
// QEL_BENCH_CLIP. A 1 ms timer beats on the window's thread; the longest
// gap between two beats is the stall.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "core/list/list.h"
#include "core/state.h"
#include "desktop/main_window.h"
#include "engine/device.h"

namespace {

void Wait(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void BM_TenExactSeeks(benchmark::State& bench) {
  const char* clip = std::getenv("QEL_BENCH_CLIP");
  if (!clip || !std::filesystem::exists(clip)) {
    bench.SkipWithError("QEL_BENCH_CLIP names no clip");
    return;
  }
  for (auto _ : bench) {
    qel::AppState state;
    state.mciAlias = "qel";
    state.iniPath = (std::filesystem::temp_directory_path() / "qel-video-bench.ini").string();
    qel::engine::Engine engine([](std::function<void()> task) {
      QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
    });
    state.platform.device = &engine;
    qel::desktop::MainWindow window(state, &engine);
    window.Create(clip, qel::OpenKind::File);
    window.resize(1000, 700);
    Wait(3000);
    std::string renderer;
    engine.Send("status qel renderer", &renderer);
    bench.SetLabel("renderer " + renderer);

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] {
      const qint64 now = clock.elapsed();
      longest = std::max(longest, now - last);
      last = now;
    });
    beat.start(1);
    double slowestCommand = 0;
    for (int i = 0; i < 10; ++i) {
      QElapsedTimer command;
      command.start();
      window.Command(i % 2 ? 4500 : 4300);  // 60 s on, 10 s back: exact seeks
      slowestCommand = std::max(slowestCommand, command.nsecsElapsed() / 1e6);
      Wait(500);
    }
    beat.stop();
    bench.counters["longest_stall_ms"] = static_cast<double>(longest);
    bench.counters["slowest_seek_command_ms"] = slowestCommand;
    engine.Send("close all");
    std::filesystem::remove(state.iniPath);
  }
}
BENCHMARK(BM_TenExactSeeks)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
