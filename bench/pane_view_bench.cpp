// The pane on the real window offscreen: from "next track" to the pane
// painted, for tracks whose tags hold lyrics and a 1500 x 1500 JPEG cover
// (the device's open of the file included, and the pane's share alone);
// and one repaint of the list with the picture behind 30 visible rows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "core/pane/text_pane.h"
#include "desktop/main_window.h"
#include "desktop/pane_view.h"
#include "desktop/qt_image_decoder.h"
#include "engine/device.h"

namespace {

std::string Be32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string Frame(const std::string& id, const std::string& body) { return id + Be32(body.size()) + std::string(2, '\0') + body; }

// A photograph-like 1500 x 1500 JPEG: gradients and grain, about as large
// as a real cover of that size.
std::string CoverJpeg(int seed) {
  QImage image(1500, 1500, QImage::Format_RGB32);
  QRandomGenerator random(seed);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const int grain = int(random.bounded(24));
      line[x] = qRgb((x / 6 + seed * 40 + grain) & 0xFF, (y / 6 + grain) & 0xFF, ((x + y) / 12 + grain) & 0xFF);
    }
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPEG", 90);
  return bytes.toStdString();
}

// Real MPEG audio that the engine plays: the test tone without its own tag.
std::string Audio() {
  std::ifstream in(std::string(QEL_ENGINE_DATA) + "/tone.mp3", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() > 10 && bytes.compare(0, 3, "ID3") == 0) {
    const size_t size = (size_t(bytes[6] & 0x7F) << 21) | (size_t(bytes[7] & 0x7F) << 14) |
                        (size_t(bytes[8] & 0x7F) << 7) | size_t(bytes[9] & 0x7F);
    bytes.erase(0, std::min(bytes.size(), size + 10));
  }
  return bytes;
}

// An MP3 whose ID3v2.3 tag holds lyrics (USLT) and the cover (APIC).
void WriteTrack(const std::string& path, int seed) {
  std::string lyrics;
  for (int verse = 0; verse < 10; ++verse) lyrics += "夜の歌\r\n星がひとつ、またひとつ\r\n窓のむこうで\r\n\r\n";
  const std::string frames = Frame("USLT", std::string("\3jpn\0", 5) + lyrics) +
                             Frame("APIC", std::string("\0image/jpeg\0\3\0", 14) + CoverJpeg(seed));
  const uint32_t n = frames.size();
  const std::string size = {char((n >> 21) & 0x7F), char((n >> 14) & 0x7F), char((n >> 7) & 0x7F), char(n & 0x7F)};
  std::ofstream(path, std::ios::binary) << std::string("ID3\3\0\0", 6) << size << frames << Audio();
}

void Settle() {
  for (int i = 0; i < 4; ++i) QApplication::processEvents();
}

struct Player {
  std::string folder;
  qel::AppState state;
  qel::QtImageDecoder images;
  qel::engine::Engine engine{[](std::function<void()> task) {
    QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
  }};
  qel::desktop::MainWindow window{state, &engine};
  explicit Player(int tracks) {
    state.platform.device = &engine;
    char pattern[] = "/tmp/qel-bench-paneview-XXXXXX";
    folder = mkdtemp(pattern);
    for (int i = 0; i < tracks; ++i) WriteTrack(folder + "/" + std::to_string(10 + i) + " track.mp3", i);
    state.platform.images = &images;
    state.instanceName = state.mciAlias = "qel";
    state.mediaExtensions = ".mp3";
    // Never the user's settings: a path under a device cannot exist.
    state.iniPath = "/dev/null/qel-bench.ini";
    window.Create(folder + "/10 track.mp3", qel::OpenKind::File);
    window.resize(640, 560);
    Settle();
  }
  ~Player() { std::filesystem::remove_all(folder); }
};

// The pane has drawn the current picture.
bool PanePainted(const Player& player) {
  return player.window.pane()->PaintedSerial() == player.state.pictureSerial &&
         player.window.pane()->LastDraw().destination.Width() > 0;
}

void BM_NextTrackToPanePainted(benchmark::State& st) {
  Player player(2);
  for (auto _ : st) {
    player.window.Command(1008);
    Settle();
    if (!PanePainted(player)) st.SkipWithError("pane not painted");
  }
}
BENCHMARK(BM_NextTrackToPanePainted)->Unit(benchmark::kMillisecond)->UseRealTime();

// The pane's share of it: the tag read, the cover decoded and faded, the
// words set and the pane painted, without the device opening the file.
void BM_PaneRefreshAndPaint(benchmark::State& st) {
  Player player(2);
  int index = 0;
  for (auto _ : st) {
    index = 1 - index;
    qel::ShowPaneEntry(player.state, index);
    player.window.pane()->repaint();
    if (!PanePainted(player)) st.SkipWithError("pane not painted");
  }
}
BENCHMARK(BM_PaneRefreshAndPaint)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ListRepaintOverPicture30Rows(benchmark::State& st) {
  Player player(40);
  player.window.SetControlFont(qel::Control::ListBox, "", 8, 0);
  Settle();
  auto* list = player.window.list();
  const int rows = list->viewport()->height() / std::max(1, list->sizeHintForRow(0));
  list->viewport()->repaint();  // the picture behind is built once per size
  for (auto _ : st) list->viewport()->repaint();
  st.counters["visible_rows"] = rows;
}
BENCHMARK(BM_ListRepaintOverPicture30Rows)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (!std::getenv("QEL_AUDIO_OUTPUT")) setenv("QEL_AUDIO_OUTPUT", "null", 1);
  QApplication app(argc, argv);
  Q_INIT_RESOURCE(qel);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
