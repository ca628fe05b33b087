// Timed lyrics (".lrc"): the lines without their time tags, and which line
// is being sung at a position.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qel {

// A line of the shown text starts being sung at ms.
struct LyricsMark {
  long long ms = 0;
  int line = 0;
  bool operator==(const LyricsMark&) const = default;
};

struct TimedLyrics {
  std::string text;                // the lines to show, joined with CR LF
  std::vector<LyricsMark> marks;   // by time; several marks may name one line
};

// Reads ".lrc" text: "[mm:ss.xx]" tags in front of a line time it (a line
// may carry several), "<mm:ss.xx>" word tags inside it are dropped, lines
// that hold only "[ar:...]"-style fields are not shown, and "[offset:+n]"
// moves every time n milliseconds earlier. Lines without tags are shown
// untimed.
TimedLyrics ParseLrc(std::string_view text);

// The line sung at ms (the last mark at or before it), or -1 before the
// first mark.
int SungLine(const std::vector<LyricsMark>& marks, long long ms);

}  // namespace qel
