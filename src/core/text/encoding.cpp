#include "core/text/encoding.h"

#include <iconv.h>

#include <cerrno>

namespace qel {
namespace {

std::string& CodePageName() {
  static std::string name = "CP932";
  return name;
}

constexpr uint32_t kReplacement = 0xFFFD;

// Runs iconv over the whole input; undecodable bytes are replaced and
// skipped one at a time so that one bad byte never loses the rest.
std::string Convert(const char* to, const char* from, std::string_view in, std::string_view replacement) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return SanitizeUtf8(in);
  std::string out;
  out.reserve(in.size() * 2 + 16);
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  char buffer[4096];
  while (left > 0) {
    char* dst = buffer;
    size_t room = sizeof buffer;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buffer, dst - buffer);
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (truncated sequence at the end): replace one byte.
      out.append(replacement);
      ++src;
      --left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* dst = buffer;
  size_t room = sizeof buffer;
  iconv(cd, nullptr, nullptr, &dst, &room);
  out.append(buffer, dst - buffer);
  iconv_close(cd);
  return out;
}

}  // namespace

void SetLegacyCodePage(const std::string& iconvCharset) {
  std::string name = iconvCharset.empty() ? "CP932" : iconvCharset;
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    name = "CP932";  // an unknown charset falls back to the default
  } else {
    iconv_close(cd);
  }
  CodePageName() = name;
}

const std::string& LegacyCodePage() { return CodePageName(); }

std::string LegacyToUtf8(std::string_view bytes) {
  // Plain ASCII is the same in every legacy code page we accept.
  bool ascii = true;
  for (unsigned char c : bytes)
    if (c >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii) return std::string(bytes);
  return Convert("UTF-8", CodePageName().c_str(), bytes, "\xEF\xBF\xBD");
}

uint32_t LegacyTwin(uint32_t c) {
  static constexpr uint32_t kPairs[][2] = {
      {0x301C, 0xFF5E},  // wave dash, full-width tilde
      {0x2212, 0xFF0D},  // minus sign, full-width hyphen-minus
      {0x2016, 0x2225},  // double vertical line, parallel to
      {0x00A2, 0xFFE0},  // cent sign
      {0x00A3, 0xFFE1},  // pound sign
      {0x00AC, 0xFFE2},  // not sign
      {0x2014, 0x2015},  // em dash, horizontal bar
      {0x00A5, 0x005C},  // yen sign, backslash
      {0x203E, 0x007E},  // overline, tilde
  };
  for (const auto& pair : kPairs) {
    if (c == pair[0]) return pair[1];
    if (c == pair[1]) return pair[0];
  }
  return 0;
}

std::optional<std::string> Utf8ToLegacyExact(std::string_view utf8) {
  if (!IsValidUtf8(utf8)) return std::nullopt;
  std::string out = Utf8ToLegacy(utf8);
  // iconv maps some characters one way only; what does not come back as
  // itself or its twin was not written.
  std::string back = LegacyToUtf8(out);
  size_t i = 0, j = 0;
  while (i < utf8.size() && j < back.size()) {
    uint32_t a = DecodeUtf8(utf8, &i), b = DecodeUtf8(back, &j);
    if (a != b && LegacyTwin(a) != b) return std::nullopt;
  }
  if (i != utf8.size() || j != back.size()) return std::nullopt;
  return out;
}

std::string Utf8ToLegacy(std::string_view utf8) {
  bool ascii = true;
  for (unsigned char c : utf8)
    if (c >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii) return std::string(utf8);
  // One pass through iconv; a character the code page lacks (or a broken
  // sequence) becomes "?" and the conversion goes on after it.
  iconv_t cd = iconv_open(CodePageName().c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  char* src = const_cast<char*>(utf8.data());
  size_t left = utf8.size();
  char buffer[4096];
  while (left > 0) {
    char* dst = buffer;
    size_t room = sizeof buffer;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buffer, dst - buffer);
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      out.push_back('?');
      size_t pos = static_cast<size_t>(src - utf8.data());
      DecodeUtf8(utf8, &pos);
      left -= pos - static_cast<size_t>(src - utf8.data());
      src = const_cast<char*>(utf8.data()) + pos;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* dst = buffer;
  size_t room = sizeof buffer;
  iconv(cd, nullptr, nullptr, &dst, &room);
  out.append(buffer, dst - buffer);
  iconv_close(cd);
  return out;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

uint32_t DecodeUtf8(std::string_view s, size_t* pos) {
  size_t i = *pos;
  unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) {
    *pos = i + 1;
    return c;
  }
  int need;
  uint32_t cp;
  uint32_t minimum;
  if (c >= 0xC2 && c <= 0xDF) {
    need = 1;
    cp = c & 0x1F;
    minimum = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    need = 2;
    cp = c & 0x0F;
    minimum = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    need = 3;
    cp = c & 0x07;
    minimum = 0x10000;
  } else {
    *pos = i + 1;
    return kReplacement;
  }
  for (int k = 1; k <= need; ++k) {
    if (i + k >= s.size()) {
      *pos = i + 1;
      return kReplacement;
    }
    unsigned char d = static_cast<unsigned char>(s[i + k]);
    if ((d & 0xC0) != 0x80) {
      *pos = i + 1;
      return kReplacement;
    }
    cp = (cp << 6) | (d & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    *pos = i + 1;
    return kReplacement;
  }
  *pos = i + need + 1;
  return cp;
}

bool IsValidUtf8(std::string_view s) {
  size_t pos = 0;
  while (pos < s.size()) {
    size_t start = pos;
    uint32_t cp = DecodeUtf8(s, &pos);
    if (cp == kReplacement && pos - start != 3) return false;
  }
  return true;
}

std::string SanitizeUtf8(std::string_view s) {
  if (IsValidUtf8(s)) return std::string(s);
  std::string out;
  out.reserve(s.size() + 8);
  size_t pos = 0;
  while (pos < s.size()) AppendUtf8(out, DecodeUtf8(s, &pos));
  return out;
}

size_t CountCodePoints(std::string_view s) {
  size_t n = 0, pos = 0;
  while (pos < s.size()) {
    DecodeUtf8(s, &pos);
    ++n;
  }
  return n;
}

std::string Utf16ToUtf8(std::string_view b, bool bigEndian) {
  std::string out;
  out.reserve(b.size() * 3 / 2);
  auto unit = [&](size_t i) -> uint32_t {
    uint8_t a = static_cast<uint8_t>(b[i]), c = static_cast<uint8_t>(b[i + 1]);
    return bigEndian ? (uint32_t(a) << 8 | c) : (uint32_t(c) << 8 | a);
  };
  size_t i = 0;
  while (i + 1 < b.size()) {
    uint32_t u = unit(i);
    i += 2;
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 < b.size()) {
        uint32_t low = unit(i);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          i += 2;
          AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
          continue;
        }
      }
      AppendUtf8(out, kReplacement);
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, u);
    }
  }
  if (i < b.size()) AppendUtf8(out, kReplacement);
  return out;
}

std::string Utf8ToUtf16(std::string_view s, bool bigEndian) {
  std::string out;
  out.reserve(s.size() * 2);
  auto put = [&](uint32_t u) {
    if (bigEndian) {
      out.push_back(static_cast<char>(u >> 8));
      out.push_back(static_cast<char>(u & 0xFF));
    } else {
      out.push_back(static_cast<char>(u & 0xFF));
      out.push_back(static_cast<char>(u >> 8));
    }
  };
  size_t pos = 0;
  while (pos < s.size()) {
    uint32_t cp = DecodeUtf8(s, &pos);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

std::string Latin1ToUtf8(std::string_view b) {
  std::string out;
  out.reserve(b.size() * 2);
  for (unsigned char c : b) AppendUtf8(out, c);
  return out;
}

}  // namespace qel
