// Companion text files: which encoding a file's bytes are in, and their
// text in the program's UTF-8 with every line break written as CR LF.
#pragma once

#include <string>
#include <string_view>

namespace qel {

enum class TextEncoding : int {
  Ansi = 0,     // the legacy code page (CP932 unless AnsiCodePage names another)
  Utf8 = 1,
  Utf16Le = 2,
  Utf16Be = 3,
  NotText = 4,  // a zero byte without a byte-order mark: never shown
};

// Byte-order marks first; then a zero byte means no text, plain ASCII is
// ANSI, and otherwise the UTF-8 and Shift-JIS scores decide (a tie is
// UTF-8).
TextEncoding DetectTextEncoding(std::string_view bytes);

// The two scores: how much of the buffer reads as well-formed UTF-8 or
// Shift-JIS, or -1 when a sequence breaks off at the end (UTF-8) or a pair
// is impossible (Shift-JIS).
int Utf8Score(std::string_view bytes);
int ShiftJisScore(std::string_view bytes);

// The file's text: the byte-order mark dropped, invalid sequences as
// U+FFFD, and each LF or CR LF written as CR LF (a lone CR stays as it is).
// NotText gives nothing.
std::string DecodeTextFile(std::string_view bytes, TextEncoding encoding);

// CR LF and LF both as CR LF; a lone CR is left alone.
std::string WithCrLf(std::string_view text);

}  // namespace qel
