#include "core/text/natural.h"

#include <algorithm>

#include "core/text/encoding.h"

namespace qel {
namespace {

// Plain letters of U+00C0..U+017F, one per code point; '.' keeps the letter
// itself (Æ, Þ, ß, Œ, the signs × and ÷ ...).
constexpr std::string_view kLatinBase =
    "aaaaaa.ceeeeiiii"  // C0
    "dnooooo.ouuuuy.."  // D0
    "aaaaaa.ceeeeiiii"  // E0
    "dnooooo.ouuuuy.y"  // F0
    "aaaaaaccccccccdd"  // 100
    "ddeeeeeeeeeegggg"  // 110
    "gggghhhhiiiiiiii"  // 120
    "ii..jjkk.lllllll"  // 130
    "lllnnnnnnn..oooo"  // 140
    "oo..rrrrrrssssss"  // 150
    "ssttttttuuuuuuuu"  // 160
    "uuuuwwyyyzzzzzzs"; // 170

static_assert(kLatinBase.size() == 0x180 - 0xC0);

// Where a character sorts before any comparison of its own value.
enum Class : int { kPunctuation = 0, kDigit = 1, kLetter = 2, kRawByte = 3 };

// Bytes that are not UTF-8 keep their identity, past every code point.
constexpr uint32_t kRawBase = 0x110000;

uint32_t NextCodePoint(std::string_view s, size_t& i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) {
    ++i;
    return c;
  }
  size_t p = i;
  uint32_t cp = DecodeUtf8(s, &p);
  if (cp == 0xFFFD && s.substr(i, 3) != "\xEF\xBF\xBD") {
    ++i;
    return kRawBase + c;
  }
  i = p;
  return cp;
}

uint32_t Primary(uint32_t folded) {
  if (folded >= 0xC0 && folded < 0x180) {
    char base = kLatinBase[folded - 0xC0];
    return base == '.' ? folded : static_cast<uint32_t>(base);
  }
  if (folded >= 0xFF01 && folded <= 0xFF5E) return FoldCase(folded - 0xFEE0);  // full-width ASCII
  return folded;
}

int ClassOf(uint32_t primary) {
  if (primary < 0x80) {
    bool letter = (primary >= 'a' && primary <= 'z') || (primary >= 'A' && primary <= 'Z');
    return letter ? kLetter : kPunctuation;
  }
  if (primary >= kRawBase) return kRawByte;
  if (primary < 0xC0 || primary == 0xD7 || primary == 0xF7) return kPunctuation;
  if (primary >= 0x2000 && primary <= 0x2BFF) return kPunctuation;  // punctuation, symbols, arrows
  if (primary >= 0x3000 && primary <= 0x303F && !(primary >= 0x3005 && primary <= 0x3007)) return kPunctuation;
  return kLetter;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

}  // namespace

uint32_t FoldCase(uint32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130) return 'i';  // İ
    if (c == 0x178) return 0xFF;  // Ÿ
    bool evenUpper = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
    bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (evenUpper && c % 2 == 0 && c != 0x138) return c + 1;
    if (oddUpper && c % 2 == 1) return c + 1;
    return c;
  }
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;  // Greek
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;                 // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;  // full-width Latin
  return c;
}

int NaturalCompare(std::string_view a, std::string_view b) {
  // Paths of one list share long prefixes. Identical bytes decide nothing,
  // as long as the comparison resumes at the start of a character and not
  // inside a run of digits.
  size_t same = 0;
  const size_t shorter = std::min(a.size(), b.size());
  while (same < shorter && a[same] == b[same]) ++same;
  if (same == a.size() && same == b.size()) return 0;
  auto continuation = [](std::string_view s, size_t k) {
    return k < s.size() && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80;
  };
  while (same > 0 && (IsDigit(a[same - 1]) || continuation(a, same) || continuation(b, same))) --same;
  size_t i = same, j = same;
  int tie = 0;  // first difference that the natural order itself ignores
  while (i < a.size() && j < b.size()) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[j]);
    bool da = IsDigit(a[i]), db = IsDigit(b[j]);

    if (da && db) {
      size_t za = 0, zb = 0;
      while (i < a.size() && a[i] == '0') ++i, ++za;
      while (j < b.size() && b[j] == '0') ++j, ++zb;
      size_t sa = i, sb = j;
      while (i < a.size() && IsDigit(a[i])) ++i;
      while (j < b.size() && IsDigit(b[j])) ++j;
      size_t la = i - sa, lb = j - sb;
      if (la != lb) return la < lb ? -1 : 1;
      int digits = a.substr(sa, la).compare(b.substr(sb, lb));
      if (digits != 0) return Sign(digits);
      if (tie == 0 && za != zb) tie = za < zb ? -1 : 1;
      continue;
    }

    if (ca < 0x80 && cb < 0x80 && !da && !db) {
      uint32_t fa = FoldCase(ca), fb = FoldCase(cb);
      ++i, ++j;
      if (fa == fb) continue;
      int ka = ClassOf(fa), kb = ClassOf(fb);
      if (ka != kb) return ka < kb ? -1 : 1;
      return fa < fb ? -1 : 1;
    }

    // One side at least is not plain ASCII, or one is a digit.
    uint32_t fa = 0, fb = 0, pa = 0, pb = 0;
    int ka = kDigit, kb = kDigit;
    if (!da) {
      fa = FoldCase(NextCodePoint(a, i));
      pa = Primary(fa);
      ka = ClassOf(pa);
    }
    if (!db) {
      fb = FoldCase(NextCodePoint(b, j));
      pb = Primary(fb);
      kb = ClassOf(pb);
    }
    if (ka != kb) return ka < kb ? -1 : 1;
    // Both are characters of the same class here (two digits were handled).
    if (pa != pb) return pa < pb ? -1 : 1;
    if (tie == 0 && fa != fb) tie = fa < fb ? -1 : 1;
  }
  bool aLeft = i < a.size(), bLeft = j < b.size();
  if (aLeft != bLeft) return aLeft ? 1 : -1;
  return tie;
}

}  // namespace qel
