// Where a line of timed lyrics starts: the pane's text marks the line sung,
// and the record of the running player keeps the marks of the file shown.
#pragma once

namespace qel {

// A line of the shown text starts being sung at ms.
struct LyricsMark {
  long long ms = 0;
  int line = 0;
  bool operator==(const LyricsMark&) const = default;
};

}  // namespace qel
