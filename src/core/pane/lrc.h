// Timed lyrics (".lrc"): the lines without their time tags, and which line
// is being sung at a position.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/lyrics_mark.h"

namespace qel {

struct TimedLyrics {
  std::string text;                // the lines to show, joined with CR LF
  std::vector<LyricsMark> marks;   // by time, one for each timed line shown
};

// Reads ".lrc" text (lines ending in CR LF, LF or CR): "[mm:ss.xx]" tags
// in front of a line time it, and a line with several is shown once for
// each; the lines are shown in the order they are sung. "<mm:ss.xx>" word
// tags inside a line are dropped; lines that hold only "[ar:...]"-style
// fields ("[ti : x]", "[#:...]", any name) are not shown, and
// "[offset:+n]" moves every time n milliseconds earlier. Untimed lines stay
// after the line they follow in the file.
TimedLyrics ParseLrc(std::string_view text);

// A line of lyrics and the times it is sung at (none: untimed).
struct TimedLine {
  std::string words;
  std::vector<long long> times;
};

// The lines as they are shown: in the order they are sung, each once for
// every time it has, every time offset milliseconds earlier (not before 0).
// An untimed line stays after the line it follows in the file.
TimedLyrics OrderTimedLines(const std::vector<TimedLine>& lines, long long offset = 0);

// The line sung at ms (the last mark at or before it), or -1 before the
// first mark.
int SungLine(const std::vector<LyricsMark>& marks, long long ms);

}  // namespace qel
