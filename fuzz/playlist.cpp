// The M3U reader over a playlist file of the fuzzer's bytes, beside a folder
// of real files its lines may name (relative, absolute, nested playlists).
// Every entry it makes must name a regular file or a folder (never a pipe
// or a device), and the count it reports must be the entries it added.
#include <sys/stat.h>

#include "core/playlist/playlist.h"
#include "core/settings/settings.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  static const std::string folder = [] {
    const std::string f = fuzz::ScratchFolder() + "/music";
    ::mkdir(f.c_str(), 0700);
    ::mkdir((f + "/sub").c_str(), 0700);
    for (const char* name : {"a.mp3", "b c.ogg", "sub/d.flac", "\x82\xa0.mp3", "e.wav"})
      fuzz::WriteFile(f + "/" + name, "x");
    fuzz::WriteFile(f + "/sub/inner.m3u", "d.flac\n../a.mp3\n");
    ::mkfifo((f + "/pipe.mp3").c_str(), 0600);
    ::symlink("/dev/zero", (f + "/zero.mp3").c_str());
    return f;
  }();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The first byte picks the extension (the legacy reading or UTF-8).
  const std::string path = folder + (size && (data[0] & 1) ? "/list.m3u8" : "/list.m3u");
  fuzz::WriteFile(path, bytes);
  AppState state;
  state.settings.MCIExt = ".mp3.ogg.flac.wav";
  BuildMediaExtensions(state);
  int added = 0;
  ReadPlaylist(state, path, folder, 0, added, false, size && (data[0] & 2));
  if (added != static_cast<int>(state.entries.size())) abort();
  for (const ListEntry& e : state.entries) {
    struct stat st;
    if (::stat(e.path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) abort();
    fuzz::Touch(e.title);
  }
  (void)ReadsAsUtf8(bytes);
  return 0;
}
