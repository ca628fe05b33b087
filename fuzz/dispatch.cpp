// The three entry points over a real file: the first byte picks the
// extension, the rest is the file. Built with QEL_FUZZ_HUGE, the file is
// made sparse and several GiB long (the input at its start and its last
// bytes at its end), so that every size field that claims most of a file
// has a file to claim it in: run with a low -rss_limit_mb and
// -malloc_limit_mb, a reader that allocates or reads what a field claims
// fails at once.
#include <sys/stat.h>

#include "core/metadata/metadata.h"
#include "harness.h"

namespace {

const char* const kExtensions[] = {".mp3", ".mpg", ".mpeg", ".mid", ".wma", ".wmv", ".flac", ".fla", ".ogg",
                                   ".ra",  ".rm",  ".m4a",  ".mp4", ".mkv", ".avi", ".wav", ".wave", ".MP3"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  if (size < 1) return 0;
  const std::string path = fuzz::ScratchFolder() + "/file" + kExtensions[data[0] % std::size(kExtensions)];
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  fuzz::WriteFile(path, bytes);
#ifdef QEL_FUZZ_HUGE
  // 1 to 4 GiB and an odd few bytes, chosen by the input's second byte.
  const uint64_t huge = (uint64_t(1 + (size > 1 ? data[1] % 4 : 0)) << 30) + (size > 2 ? data[2] * 4099u : 0);
  if (truncate(path.c_str(), static_cast<off_t>(huge)) != 0) abort();
  const size_t tail = bytes.size() < 256 ? bytes.size() : 256;
  int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0 || pwrite(fd, bytes.data() + bytes.size() - tail, tail, static_cast<off_t>(huge - tail)) != static_cast<ssize_t>(tail))
    abort();
  close(fd);
#endif
  fuzz::TouchingDecoder images;
  AppState state;  // no media device: the lengths come from the readers alone
  state.platform.images = &images;
  fuzz::Touch(ReadTitle(path));
  (void)ReadLength(state, path);
  MediaInfo info = ReadLyricsAndPicture(state, path);
  fuzz::Touch(info.lyrics);
  return 0;
}
