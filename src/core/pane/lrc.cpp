#include "core/pane/lrc.h"

#include <algorithm>
#include <optional>

#include "core/settings/file_names.h"

namespace qel {
namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }
bool Letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

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

// "ar:Artist", "offset:+250": a field name of letters, a colon, a value.
bool IsField(std::string_view t, std::string_view* name, std::string_view* value) {
  size_t i = 0;
  while (i < t.size() && Letter(t[i])) ++i;
  if (i == 0 || i >= t.size() || t[i] != ':') return false;
  *name = t.substr(0, i);
  *value = t.substr(i + 1);
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
  TimedLyrics out;
  long long offset = 0;
  int shown = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const bool last = end == std::string_view::npos;
    if (last) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    std::vector<long long> times;
    bool fields = false;
    while (!line.empty() && line.front() == '[') {
      const size_t close = line.find(']');
      if (close == std::string_view::npos) break;
      const std::string_view tag = line.substr(1, close - 1);
      std::string_view name, value;
      if (auto t = TimeOf(tag)) {
        times.push_back(*t);
      } else if (IsField(tag, &name, &value)) {
        fields = true;
        if (files::EqualNoCase(name, "offset")) offset = OffsetOf(value);
      } else {
        break;  // "[Chorus]" and the like are words of the song
      }
      line.remove_prefix(close + 1);
    }
    std::string words = WithoutWordTags(line);
    while (!words.empty() && (words.back() == ' ' || words.back() == '\t')) words.pop_back();
    if (fields && times.empty() && words.empty()) continue;
    if (last && words.empty() && times.empty() && !fields) break;  // after the final line break

    if (shown > 0) out.text += "\r\n";
    out.text += words;
    for (long long t : times) out.marks.push_back({t, shown});
    ++shown;
  }
  for (LyricsMark& mark : out.marks) mark.ms = std::max(0LL, mark.ms - offset);
  std::stable_sort(out.marks.begin(), out.marks.end(),
                   [](const LyricsMark& a, const LyricsMark& b) { return a.ms < b.ms; });
  return out;
}

int SungLine(const std::vector<LyricsMark>& marks, long long ms) {
  auto after = std::upper_bound(marks.begin(), marks.end(), ms,
                                [](long long t, const LyricsMark& mark) { return t < mark.ms; });
  if (after == marks.begin()) return -1;
  return std::prev(after)->line;
}

}  // namespace qel
