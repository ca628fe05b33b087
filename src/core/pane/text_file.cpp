#include "core/pane/text_file.h"

#include <cstdint>

#include "core/text/encoding.h"

namespace qel {
namespace {

uint8_t At(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); }
bool Continuation(uint8_t c) { return c >= 0x80 && c <= 0xBF; }
bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

}  // namespace

int Utf8Score(std::string_view s) {
  const size_t n = s.size();
  int u = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = At(s, i);
    if (c == 0xA0 || c == 0xFF) continue;
    if (c <= 0x7F) {
      ++u;
      continue;
    }
    if (i + 1 == n) continue;  // a last byte can start nothing
    if (c >= 0xC0 && c <= 0xDF && Continuation(At(s, i + 1))) {
      u += 2;
      i += 1;
      continue;
    }
    if (i + 2 == n) continue;
    if (c >= 0xE0 && c <= 0xEF && Continuation(At(s, i + 1)) && Continuation(At(s, i + 2))) {
      u += 3;
      i += 2;
      continue;
    }
    // Anything left this close to the end cannot be the start of a
    // four-byte sequence: the text is cut off, not UTF-8.
    if (i + 3 >= n) return -1;
    if (c >= 0xF0 && c <= 0xF7 && Continuation(At(s, i + 1)) && Continuation(At(s, i + 2)) &&
        Continuation(At(s, i + 3))) {
      u += 4;
      i += 3;
    }
  }
  return u;
}

int ShiftJisScore(std::string_view s) {
  const size_t n = s.size();
  int j = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = At(s, i);
    if (c == 0xA0 || c == 0xFF) continue;
    if (c <= 0x7F || (c >= 0xA1 && c <= 0xDF)) {  // ASCII or half-width katakana
      ++j;
      continue;
    }
    if (i + 1 == n) continue;
    const uint8_t t = At(s, i + 1);
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    const bool trail = (t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC);
    if (!lead || !trail) return -1;
    j += 2;
    i += 1;
  }
  return j;
}

TextEncoding DetectTextEncoding(std::string_view s) {
  if (StartsWith(s, "\xFF\xFE")) return TextEncoding::Utf16Le;
  if (StartsWith(s, "\xFE\xFF")) return TextEncoding::Utf16Be;
  if (StartsWith(s, "\xEF\xBB\xBF")) return TextEncoding::Utf8;
  if (s.empty()) return TextEncoding::Ansi;
  bool high = false;
  for (char ch : s) {
    const uint8_t c = static_cast<uint8_t>(ch);
    if (c == 0) return TextEncoding::NotText;
    if (c > 0x7E) high = true;
  }
  if (!high) return TextEncoding::Ansi;
  return ShiftJisScore(s) <= Utf8Score(s) ? TextEncoding::Utf8 : TextEncoding::Ansi;
}

std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16 + 2);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      out += "\r\n";
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += "\r\n";
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

std::string DecodeTextFile(std::string_view bytes, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Ansi:
      return WithCrLf(LegacyToUtf8(bytes));
    case TextEncoding::Utf8:
      if (StartsWith(bytes, "\xEF\xBB\xBF")) bytes.remove_prefix(3);
      return WithCrLf(SanitizeUtf8(bytes));
    case TextEncoding::Utf16Le:
      if (StartsWith(bytes, "\xFF\xFE")) bytes.remove_prefix(2);
      return WithCrLf(Utf16ToUtf8(bytes, false));
    case TextEncoding::Utf16Be:
      if (StartsWith(bytes, "\xFE\xFF")) bytes.remove_prefix(2);
      return WithCrLf(Utf16ToUtf8(bytes, true));
    case TextEncoding::NotText:
      break;
  }
  return {};
}

}  // namespace qel
