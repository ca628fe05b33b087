// qel-probe FILE...: what the player reads out of each file, one line each:
//   path TAB title TAB seconds TAB lyrics characters TAB WIDTHxHEIGHT or -
// With --titles only path TAB title, through the folder scan's own reader.
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "core/metadata/metadata.h"
#include "core/state.h"
#include "core/text/encoding.h"  // CountCodePoints
#include "desktop/qt_image_decoder.h"
#ifdef QEL_PROBE_ENGINE
#include "engine/device.h"
#endif

namespace {

// Tabs and line breaks inside a title would break the one-line format.
std::string OneLine(std::string s) {
  for (char& c : s)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return s;
}

int Usage() {
  std::fprintf(stderr, "usage: qel-probe [--titles] FILE...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool titlesOnly = false;
  std::vector<std::string> files;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (options && a == "--") {
      options = false;
    } else if (options && a == "--titles") {
      titlesOnly = true;
    } else if (options && a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return Usage();
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) return Usage();

  if (titlesOnly) {
    for (const std::string& f : files) std::printf("%s\t%s\n", f.c_str(), OneLine(qel::ReadTitle(f)).c_str());
    return 0;
  }

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
  for (const std::string& f : files) {
    std::string title = qel::ReadTitle(f);
    int seconds = qel::ReadLength(state, f);
    qel::MediaInfo info = qel::ReadLyricsAndPicture(state, f);
    std::string picture = "-";
    if (info.picture && !info.picture->Empty())
      picture = std::to_string(info.picture->width) + "x" + std::to_string(info.picture->height);
    std::printf("%s\t%s\t%d\t%zu\t%s\n", f.c_str(), OneLine(title).c_str(), seconds,
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
