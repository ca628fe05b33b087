#include "core/pane/lrc.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "core/fs/file_names.h"

namespace qel {
namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }

// "mm:ss", "mm:ss.x", "mm:ss.xx", "mm:ss.xxx" (or ":" before the fraction).
std::optional<long long> TimeOf(std::string_view t) {
  size_t i = 0;
  long long minutes = 0;
  while (i < t.size() && Digit(t[i]) && i < 6) minutes = minutes * 10 + (t[i++] - '0');
  if (i == 0 || i >= t.size() || t[i] != ':') return std::nullopt;
  ++i;
  const size_t secondsAt = i;
  long long seconds = 0;
  while (i < t.size() && Digit(t[i]) && i - secondsAt < 2) seconds = seconds * 10 + (t[i++] - '0');
  if (i == secondsAt) return std::nullopt;
  long long ms = 0;
  if (i < t.size() && (t[i] == '.' || t[i] == ':')) {
    ++i;
    const size_t fractionAt = i;
    long long scale = 100;
    while (i < t.size() && Digit(t[i]) && i - fractionAt < 3) {
      ms += (t[i++] - '0') * scale;
      scale /= 10;
    }
    if (i == fractionAt) return std::nullopt;
  }
  if (i != t.size()) return std::nullopt;
  return (minutes * 60 + seconds) * 1000 + ms;
}

constexpr size_t kMaxShownLyricsBytes = 8u << 20;

std::string_view Trimmed(std::string_view t) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  return t;
}

// "ar:Artist", "ti : Title", "#:comment", "offset:+250": a name of a few
// characters without blanks, a colon (blanks around it allowed), a value.
// A name of digits alone is a time written wrong, shown as words.
bool IsField(std::string_view t, std::string_view* name, std::string_view* value) {
  const size_t colon = t.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view n = Trimmed(t.substr(0, colon));
  if (n.empty() || n.size() > 16) return false;
  if (std::all_of(n.begin(), n.end(), Digit)) return false;
  if (std::any_of(n.begin(), n.end(), [](char c) { return c == ' ' || c == '\t' || c == '[' || c == ']'; }))
    return false;
  *name = n;
  *value = Trimmed(t.substr(colon + 1));
  return true;
}

long long OffsetOf(std::string_view value) {
  size_t i = 0;
  while (i < value.size() && value[i] == ' ') ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  long long n = 0;
  while (i < value.size() && Digit(value[i]) && n < 100000000) n = n * 10 + (value[i++] - '0');
  return negative ? -n : n;
}

// Drops "<mm:ss.xx>" word tags from a line's text.
std::string WithoutWordTags(std::string_view text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '<') {
      const size_t close = text.find('>', i + 1);
      if (close != std::string_view::npos && TimeOf(text.substr(i + 1, close - i - 1))) {
        i = close + 1;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

}  // namespace

TimedLyrics ParseLrc(std::string_view text) {
  std::vector<TimedLine> lines;
  long long offset = 0;
  size_t start = 0;
  while (start < text.size()) {
    // Lines end in CR LF, LF or a lone CR.
    size_t end = text.find_first_of("\r\n", start);
    const bool last = end == std::string_view::npos;
    if (last) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!last && text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;

    TimedLine parsed;
    bool fields = false;
    while (!line.empty() && line.front() == '[') {
      const size_t close = line.find(']');
      if (close == std::string_view::npos) break;
      const std::string_view tag = line.substr(1, close - 1);
      std::string_view name, value;
      if (auto t = TimeOf(Trimmed(tag))) {
        parsed.times.push_back(*t);
      } else if (IsField(tag, &name, &value)) {
        fields = true;
        if (files::EqualNoCase(name, "offset")) offset = OffsetOf(value);
      } else {
        break;  // "[Chorus]" and the like are words of the song
      }
      line.remove_prefix(close + 1);
    }
    parsed.words = WithoutWordTags(line);
    while (!parsed.words.empty() && (parsed.words.back() == ' ' || parsed.words.back() == '\t'))
      parsed.words.pop_back();
    if (fields && parsed.times.empty() && parsed.words.empty()) continue;
    if (last && parsed.words.empty() && parsed.times.empty() && !fields) break;  // after the final line break
    lines.push_back(std::move(parsed));
  }

  return OrderTimedLines(lines, offset);
}

TimedLyrics OrderTimedLines(const std::vector<TimedLine>& lines, long long offset) {
  // A line with several times (a chorus written once) is shown once for
  // each. An untimed line stays after the line it follows in the file, at
  // that line's first time; untimed lines before any timed one stay at the
  // top.
  struct Shown {
    long long ms;   // when it is sung; the lowest value for the untimed top
    size_t line;    // its place in the file, which keeps equal times in order
    bool timed;
  };
  std::vector<Shown> shown;
  long long anchor = std::numeric_limits<long long>::min();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].times.empty()) {
      shown.push_back({anchor, i, false});
      continue;
    }
    for (long long t : lines[i].times) shown.push_back({std::max(0LL, t - offset), i, true});
    anchor = std::max(0LL, *std::min_element(lines[i].times.begin(), lines[i].times.end()) - offset);
  }
  std::stable_sort(shown.begin(), shown.end(), [](const Shown& a, const Shown& b) {
    return a.ms != b.ms ? a.ms < b.ms : a.line < b.line;
  });

  // A line written with a great many times would be copied as often: what
  // is shown stops at a bound no song comes near.
  TimedLyrics out;
  for (size_t i = 0; i < shown.size(); ++i) {
    if (out.text.size() + lines[shown[i].line].words.size() > kMaxShownLyricsBytes) break;
    if (i > 0) out.text += "\r\n";
    out.text += lines[shown[i].line].words;
    if (shown[i].timed) out.marks.push_back({shown[i].ms, static_cast<int>(i)});
  }
  return out;
}

int SungLine(const std::vector<LyricsMark>& marks, long long ms) {
  auto after = std::upper_bound(marks.begin(), marks.end(), ms,
                                [](long long t, const LyricsMark& mark) { return t < mark.ms; });
  if (after == marks.begin()) return -1;
  return std::prev(after)->line;
}

}  // namespace qel
