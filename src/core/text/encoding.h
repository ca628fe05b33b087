// Conversions between the program's UTF-8 and the encodings found in files:
// UTF-16 (tags, ini files) and the legacy code page of old Windows files
// (CP932 unless the user names another iconv charset). Invalid input never
// fails: each bad sequence becomes U+FFFD.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qel {

// The legacy ("ANSI") code page; empty restores the default, CP932.
void SetLegacyCodePage(const std::string& iconvCharset);
const std::string& LegacyCodePage();

// Legacy bytes to UTF-8. Undecodable bytes become U+FFFD.
std::string LegacyToUtf8(std::string_view bytes);
// UTF-8 to legacy bytes; characters the code page lacks become "?".
std::string Utf8ToLegacy(std::string_view utf8);
// UTF-8 to legacy bytes that LegacyToUtf8 turns back into the same text, up
// to LegacyTwin; nothing when a character has no place in the code page.
std::optional<std::string> Utf8ToLegacyExact(std::string_view utf8);

// One CP932 byte sequence stands for two characters, depending on who
// converted it: Microsoft's table or JIS. The other one of such a pair
// (〜 and ～, − and －, ‖ and ∥, ¢ and ￠, £ and ￡, ¬ and ￢, — and ―,
// ¥ and \, ‾ and ~), or 0 for any other code point.
uint32_t LegacyTwin(uint32_t codePoint);

// UTF-16 bytes (little- or big-endian, no BOM handling) to UTF-8; unpaired
// surrogates and an odd last byte become U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);
std::string Utf8ToUtf16(std::string_view utf8, bool bigEndian);

// Latin-1 (ISO-8859-1) bytes to UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);

// Valid UTF-8 stays as it is; every invalid sequence becomes U+FFFD.
std::string SanitizeUtf8(std::string_view bytes);
bool IsValidUtf8(std::string_view bytes);

// Number of code points in UTF-8 text (invalid bytes count one each).
size_t CountCodePoints(std::string_view utf8);

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);

// Decodes one code point at *pos and advances it; invalid input gives U+FFFD
// and advances by one byte.
uint32_t DecodeUtf8(std::string_view s, size_t* pos);

}  // namespace qel
