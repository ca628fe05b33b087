#include "core/pane/lrc.h"
#include <algorithm>

#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  const TimedLyrics lyrics = ParseLrc(std::string_view(reinterpret_cast<const char*>(data), size));
  fuzz::Touch(lyrics.text);
  // Every mark names a shown line, in the order of time.
  const long long lines = 1 + std::count(lyrics.text.begin(), lyrics.text.end(), '\n');
  for (size_t i = 0; i < lyrics.marks.size(); ++i) {
    if (lyrics.marks[i].line < 0 || lyrics.marks[i].line >= lines) __builtin_trap();
    if (i > 0 && lyrics.marks[i].ms < lyrics.marks[i - 1].ms) __builtin_trap();
  }
  return 0;
}
