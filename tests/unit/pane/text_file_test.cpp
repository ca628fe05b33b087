#include "core/pane/text_file.h"

#include <gtest/gtest.h>

#include <string>

#include "core/text/encoding.h"

namespace qel {
namespace {

// The same Japanese lines as real UTF-8 bytes and as the bytes iconv's
// CP932 writes for them.
const std::string kUtf8Lyrics = "夜の歌\r\n星がひとつ\r\nまたひとつ\r\n";
std::string ShiftJis(const std::string& utf8) {
  SetLegacyCodePage("");
  return Utf8ToLegacy(utf8);
}

TEST(DetectTextEncoding, ScoresAndMarksDecide) {
  const std::string sjis = ShiftJis(kUtf8Lyrics);
  ASSERT_NE(sjis, kUtf8Lyrics);
  struct Case {
    const char* name;
    std::string bytes;
    TextEncoding expected;
  } cases[] = {
      {"UTF-8 Japanese without a mark", kUtf8Lyrics, TextEncoding::Utf8},
      {"the same text in Shift-JIS", sjis, TextEncoding::Ansi},
      {"half-width katakana in Shift-JIS", ShiftJis("ｶﾗｵｹ ﾃﾞｰﾀ"), TextEncoding::Ansi},
      {"equal scores are UTF-8", "\xC3\xA9", TextEncoding::Utf8},
      {"empty", "", TextEncoding::Ansi},
      {"plain ASCII is ANSI", "Hello, world\r\n", TextEncoding::Ansi},
      {"UTF-16LE mark", std::string("\xFF\xFEH\0i\0", 6), TextEncoding::Utf16Le},
      {"UTF-16BE mark", std::string("\xFE\xFF\0H\0i", 6), TextEncoding::Utf16Be},
      {"the UTF-16LE mark alone", "\xFF\xFE", TextEncoding::Utf16Le},
      {"UTF-8 mark", "\xEF\xBB\xBF" "abc", TextEncoding::Utf8},
      {"UTF-8 mark before Shift-JIS bytes", "\xEF\xBB\xBF" + sjis, TextEncoding::Utf8},
      {"a zero byte without a mark", std::string("ab\0cd", 5), TextEncoding::NotText},
      {"UTF-16 without a mark", std::string("H\0i\0", 4), TextEncoding::NotText},
      {"a tilde is not above 0x7E", "~~~", TextEncoding::Ansi},
      {"a DEL byte counts as text above 0x7E", "a\x7F", TextEncoding::Utf8},
  };
  for (const Case& c : cases) EXPECT_EQ(DetectTextEncoding(c.bytes), c.expected) << c.name;
}

TEST(DetectTextEncoding, TheTwoScores) {
  struct Case {
    const char* name;
    std::string bytes;
    int utf8, sjis;
  } cases[] = {
      {"ASCII counts one a byte", "abc", 3, 3},
      {"a three-byte character", "\xE3\x81\x82", 3, 2},
      {"a two-byte sequence", "\xC3\xA9x", 3, 3},
      {"a four-byte sequence", "\xF0\x9F\x8E\xB5" "abcd", 8, 8},
      {"0xA0 and 0xFF count nothing", "\xA0\xFF" "a", 1, 1},
      {"invalid UTF-8 before the end counts nothing", "\x80" "abcd", 4, -1},
      // A text that ends in a stray byte before its line break: the walk
      // finds no sequence it could start and gives up.
      {"a final 0x80 before the line break", "\xE6\x9C\xAC\x80\r\n", -1, -1},
      {"a lone last byte is skipped", "ab\x80", 2, 2},
      {"Shift-JIS pair", "\x82\xA0", 0, 2},
      {"Shift-JIS lead with a bad trail", "\x82\x20xx", 3, -1},
      {"0xFD is no Shift-JIS byte", "\xFD" "abcd", 4, -1},
      {"a stray byte three from the end", "\xFD" "ab", -1, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8Score(c.bytes), c.utf8) << c.name;
    EXPECT_EQ(ShiftJisScore(c.bytes), c.sjis) << c.name;
  }
}

TEST(DecodeTextFile, EachEncodingReadsToTheSameLines) {
  const std::string sjis = ShiftJis(kUtf8Lyrics);
  std::string le = "\xFF\xFE" + Utf8ToUtf16("夜の歌\n星がひとつ\r\nまたひとつ", false);
  std::string be = "\xFE\xFF" + Utf8ToUtf16("夜の歌\r\n星がひとつ\nまたひとつ", true);
  const std::string expected = "夜の歌\r\n星がひとつ\r\nまたひとつ";
  EXPECT_EQ(DecodeTextFile(sjis, DetectTextEncoding(sjis)), kUtf8Lyrics);
  EXPECT_EQ(DecodeTextFile(le, DetectTextEncoding(le)), expected);
  EXPECT_EQ(DecodeTextFile(be, DetectTextEncoding(be)), expected);
  const std::string marked = "\xEF\xBB\xBF" "夜の歌\nまたひとつ";
  EXPECT_EQ(DecodeTextFile(marked, DetectTextEncoding(marked)), "夜の歌\r\nまたひとつ");
  // A last line without a line break is taken whole; a lone CR is kept.
  EXPECT_EQ(DecodeTextFile("one\ntwo", TextEncoding::Ansi), "one\r\ntwo");
  EXPECT_EQ(DecodeTextFile("a\rb", TextEncoding::Ansi), "a\rb");
  EXPECT_EQ(DecodeTextFile("", TextEncoding::Ansi), "");
  EXPECT_EQ(DecodeTextFile("x\0y", TextEncoding::NotText), "");
  // Broken UTF-8 never loses the rest of the text.
  const std::string broken = DecodeTextFile("a\xE3\x81" "b", TextEncoding::Utf8);
  EXPECT_EQ(broken.front(), 'a');
  EXPECT_EQ(broken.back(), 'b');
  EXPECT_NE(broken.find("\xEF\xBF\xBD"), std::string::npos);
}

TEST(DecodeTextFile, AnsiFollowsTheNamedCodePage) {
  // "cafés" in Windows-1252; CP932 reads 0xE9 0x73 as one character.
  const std::string bytes = "caf\xE9s\r\n";
  ASSERT_EQ(DetectTextEncoding(bytes), TextEncoding::Ansi);
  SetLegacyCodePage("CP1252");
  EXPECT_EQ(DecodeTextFile(bytes, TextEncoding::Ansi), "cafés\r\n");
  SetLegacyCodePage("");
  EXPECT_NE(DecodeTextFile(bytes, TextEncoding::Ansi), "cafés\r\n");
}

}  // namespace
}  // namespace qel
