// The full listing of qel-probe (see qel-probe.cpp), which runs this
// program for it: titles, lengths through the media engine as the player
// measures them, lyrics, and covers decoded by Qt.
#include <cstdio>
#include <deque>
#include <functional>
#include <string>

#include <QCoreApplication>

#include "core/metadata/metadata.h"
#include "core/state.h"
#include "core/text/encoding.h"  // CountCodePoints
#include "desktop/qt_image_decoder.h"
#include "tools/probe_common.h"
#ifdef QEL_PROBE_ENGINE
#include "engine/device.h"
#endif

int main(int argc, char** argv) {
  auto args = qel::probe::ParseArguments(argc, argv);
  if (!args) return 2;
  qel::probe::ApplyUserCodePage(qel::probe::ExecutableFolder(argv[0]));
  QCoreApplication app(argc, argv);  // lets Qt find its image format plugins
  qel::QtImageDecoder images;
  qel::AppState state;
  state.platform.images = &images;
#ifdef QEL_PROBE_ENGINE
  // The probe's commands answer at once; anything the engine posts back is
  // run after each file, as the player's event loop would.
  std::deque<std::function<void()>> posted;
  qel::engine::Engine engine([&posted](std::function<void()> task) { posted.push_back(std::move(task)); });
  state.platform.device = &engine;
#endif
  using qel::probe::Field;
  for (const std::string& f : args->files) {
    std::string title = qel::ReadTitle(f);
    int seconds = qel::ReadLength(state, f);
    qel::MediaInfo info = qel::ReadLyricsAndPicture(state, f);
    std::string picture = "-";
    if (info.picture && !info.picture->Empty())
      picture = std::to_string(info.picture->width) + "x" + std::to_string(info.picture->height);
    std::printf("%s\t%s\t%d\t%zu\t%s\n", Field(f).c_str(), Field(title).c_str(), seconds,
                qel::CountCodePoints(info.lyrics), picture.c_str());
    std::fflush(stdout);
#ifdef QEL_PROBE_ENGINE
    while (!posted.empty()) {
      auto task = std::move(posted.front());
      posted.pop_front();
      task();
    }
#endif
  }
  return 0;
}
