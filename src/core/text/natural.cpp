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

// A digit at s[i], ASCII or full-width (０ to ９, common in Japanese names):
// its value, and its length in bytes in *len; -1 for anything else.
int DigitAt(std::string_view s, size_t i, size_t* len) {
  if (i >= s.size()) return -1;
  unsigned char c = static_cast<unsigned char>(s[i]);
  if (c >= '0' && c <= '9') {
    *len = 1;
    return c - '0';
  }
  if (c == 0xEF && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xBC) {
    unsigned char d = static_cast<unsigned char>(s[i + 2]);
    if (d >= 0x90 && d <= 0x99) {
      *len = 3;
      return d - 0x90;
    }
  }
  return -1;
}

// Whether a digit ends just before s[k]; its length in *len.
bool DigitEndsAt(std::string_view s, size_t k, size_t* len) {
  if (k >= 1 && DigitAt(s, k - 1, len) >= 0 && *len == 1) return true;
  return k >= 3 && DigitAt(s, k - 3, len) >= 0 && *len == 3;
}

// Compares the digit runs at a[i] and b[j] as numbers and moves both
// indexes past them. Equal numbers leave a tie for the caller: fewer
// leading zeros first, then ASCII digits before full-width ones.
int CompareDigitRuns(std::string_view a, size_t& i, std::string_view b, size_t& j, int* tie) {
  const size_t ra = i, rb = j;
  size_t len = 0, za = 0, zb = 0;
  while (DigitAt(a, i, &len) == 0) i += len, ++za;
  while (DigitAt(b, j, &len) == 0) j += len, ++zb;
  const size_t sa = i, sb = j;
  size_t na = 0, nb = 0;
  while (DigitAt(a, i, &len) >= 0) i += len, ++na;
  while (DigitAt(b, j, &len) >= 0) j += len, ++nb;
  if (na != nb) return na < nb ? -1 : 1;
  size_t x = sa, y = sb, lx = 0, ly = 0;
  for (size_t k = 0; k < na; ++k, x += lx, y += ly) {
    int va = DigitAt(a, x, &lx), vb = DigitAt(b, y, &ly);
    if (va != vb) return va < vb ? -1 : 1;
  }
  if (*tie != 0) return 0;
  if (za != zb) {
    *tie = za < zb ? -1 : 1;
    return 0;
  }
  x = ra, y = rb;
  for (size_t k = 0; k < za + na; ++k, x += lx, y += ly) {
    DigitAt(a, x, &lx);
    DigitAt(b, y, &ly);
    if (lx != ly) {
      *tie = lx < ly ? -1 : 1;
      break;
    }
  }
  return 0;
}

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
  for (size_t len = 0; same > 0;) {
    if (continuation(a, same) || continuation(b, same)) --same;
    else if (DigitEndsAt(a, same, &len)) same -= len;
    else break;
  }
  size_t i = same, j = same;
  int tie = 0;  // first difference that the natural order itself ignores
  while (i < a.size() && j < b.size()) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[j]);
    size_t len = 0;
    bool da = DigitAt(a, i, &len) >= 0, db = DigitAt(b, j, &len) >= 0;

    if (da && db) {
      if (int c = CompareDigitRuns(a, i, b, j, &tie)) return c;
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
