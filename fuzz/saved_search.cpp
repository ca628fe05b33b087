// A saved search (.qel) of the fuzzer's bytes over a small real tree: its
// queries, its folder line and its redirections. Paths are kept inside the
// scratch tree (a leading "/" is taken as the tree's top and ".." is not
// let through), so that a redirection never scans the whole machine.
#include <sys/stat.h>

#include "core/list/list.h"
#include "core/settings/settings.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  static const std::string top = [] {
    const std::string t = fuzz::ScratchFolder() + "/tree";
    for (const char* f : {"", "/music", "/music/live", "/music/Qel_DUST", "/q"}) ::mkdir((t + f).c_str(), 0700);
    for (const char* name : {"music/live one.mp3", "music/demo.ogg", "music/live/two.flac", "music/Qel_DUST/x.mp3",
                             "music/notes.txt", "music/list.m3u8"})
      fuzz::WriteFile(t + "/" + name, "x");
    fuzz::WriteFile(t + "/q/inner.qel", "live\n*\n../music\n");
    return t;
  }();
  std::string text(reinterpret_cast<const char*>(data), size);
  if (text.find("..") != std::string::npos) return 0;
  // A line begins after a line end, or after the byte-order mark the
  // reader skips.
  const size_t first = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  std::string kept;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '/' && (i == first || (i > 0 && text[i - 1] == '\n'))) kept += top;
    kept += text[i];
  }
  const std::string file = top + "/q/search.qel";
  fuzz::WriteFile(file, kept);
  AppState state;
  state.settings.MCIExt = ".mp3.ogg.flac";
  state.settings.SearchSubFolder = size && (data[0] & 1);
  BuildMediaExtensions(state);
  int added = 0;
  LoadSavedSearch(state, file, top + "/music", 0, added, false);
  for (const ListEntry& e : state.entries) {
    if (e.path.compare(0, top.size(), top) != 0 || e.path.find("Qel_DUST") != std::string::npos) abort();
    fuzz::Touch(e.title);
  }
  return 0;
}
