// The pane's companion texts: a .txt or .lrc of the fuzzer's bytes, its
// encoding told and decoded, and timed lyrics parsed. Every mark must name
// a line that is there, in time order, and the sung line at any moment must
// be one of them.
#include <algorithm>

#include "core/pane/lrc.h"
#include "core/pane/text_file.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = DecodeTextFile(bytes, DetectTextEncoding(bytes));
  fuzz::Touch(WithCrLf(text));
  for (const std::string_view source : {bytes, std::string_view(text)}) {
    const TimedLyrics lyrics = ParseLrc(source);
    const int lines = static_cast<int>(std::count(lyrics.text.begin(), lyrics.text.end(), '\n')) + 1;
    for (size_t i = 0; i < lyrics.marks.size(); ++i) {
      if (lyrics.marks[i].line < 0 || lyrics.marks[i].line >= lines) abort();
      if (i && lyrics.marks[i].ms < lyrics.marks[i - 1].ms) abort();
    }
    for (long long ms : {-1LL, 0LL, 1000LL, 59999LL, 3600000LL, (long long)size * 997}) {
      const int sung = SungLine(lyrics.marks, ms);
      if (sung < -1 || sung >= lines) abort();
    }
  }
  return 0;
}
