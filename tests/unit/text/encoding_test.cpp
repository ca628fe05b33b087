#include "core/text/encoding.h"

#include <gtest/gtest.h>

namespace qel {
namespace {

TEST(Encoding, LegacyShiftJisRoundTrip) {
  // "日本語" in CP932 is 93 FA 96 7B 8C EA.
  const std::string sjis = "\x93\xFA\x96\x7B\x8C\xEA";
  EXPECT_EQ(LegacyToUtf8(sjis), "日本語");
  EXPECT_EQ(Utf8ToLegacy("日本語"), sjis);
  EXPECT_EQ(Utf8ToLegacy("abc"), "abc");
}

TEST(Encoding, BadBytesBecomeReplacementAndLoseNothingElse) {
  // A lone lead byte 0x81 at the end and an invalid pair in the middle.
  EXPECT_EQ(LegacyToUtf8("a\x81"), "a\xEF\xBF\xBD");
  EXPECT_EQ(SanitizeUtf8("a\xC3(b"), "a\xEF\xBF\xBD(b");
  EXPECT_EQ(SanitizeUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // encoded surrogate
  EXPECT_TRUE(IsValidUtf8("日本\xEF\xBF\xBD"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));  // overlong
  EXPECT_EQ(Utf8ToLegacy("a\xF0\x9F\x8E\xB5"), "a?");  // no emoji in CP932
}

TEST(Encoding, LegacyOutputGoesOnAfterEveryBadCharacter) {
  // An invalid byte, an emoji and U+FFFD in the middle each become one "?".
  EXPECT_EQ(Utf8ToLegacy("日\xFF本\xF0\x9F\x8E\xB5語\xEF\xBF\xBD!"),
            "\x93\xFA?\x96\x7B?\x8C\xEA?!");
  EXPECT_EQ(Utf8ToLegacy("末\xE6\x9C"), "\x96\x96??");  // a cut-off sequence at the end
  std::string big;
  for (int i = 0; i < 5000; ++i) big += "曲";
  EXPECT_EQ(LegacyToUtf8(Utf8ToLegacy(big)), big);
}

TEST(Encoding, Utf16BothOrdersAndBrokenSurrogates) {
  std::string le = Utf8ToUtf16("曲🎵", false);
  EXPECT_EQ(Utf16ToUtf8(le, false), "曲🎵");
  std::string be = Utf8ToUtf16("曲🎵", true);
  EXPECT_EQ(Utf16ToUtf8(be, true), "曲🎵");
  EXPECT_EQ(Utf16ToUtf8(std::string("\x00\xD8" "a\x00", 4), false), "\xEF\xBF\xBD" "a");
  EXPECT_EQ(Utf16ToUtf8(std::string("a\x00" "b", 3), false), "a\xEF\xBF\xBD");
}

TEST(Encoding, OtherCodePageByName) {
  SetLegacyCodePage("CP1252");
  EXPECT_EQ(LegacyToUtf8("\x80"), "€");
  SetLegacyCodePage("no-such-charset");
  EXPECT_EQ(LegacyCodePage(), "CP932");
  SetLegacyCodePage("");
  EXPECT_EQ(CountCodePoints("日本a"), 3u);
  EXPECT_EQ(Latin1ToUtf8("\xE9"), "é");
}

}  // namespace
}  // namespace qel
