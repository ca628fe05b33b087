// The ini file, read and written with private-profile semantics: sections
// and keys are found without regard to (ASCII) case, whatever is missing
// reads as the default, a write creates what is missing, an existing key
// keeps its place and spelling, a new key goes to the end of its section,
// and every other line (comments, blank lines, unknown keys) stays byte for
// byte. The file's encoding (UTF-8 with or without a byte-order mark,
// UTF-16 LE or BE with one) and its line ends are kept.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qel {

enum class IniEncoding { Utf8, Utf8Bom, Utf16Le, Utf16Be };

struct IniLine {
  std::string text;  // UTF-8, without its line end
  std::string end;   // "\r\n", "\n", "\r" or "" (a last line without one)
};

struct IniDocument {
  IniEncoding encoding = IniEncoding::Utf8;
  std::vector<IniLine> lines;
  std::string newLineEnd = "\n";  // for lines the program adds
  // The file exists but could not be read: saving this document would lose
  // its contents, so SaveIniFile refuses it.
  bool readFailed = false;
};

// Parses file bytes. Anything parses: bytes that are no valid text in the
// detected encoding become U+FFFD (UTF-16) or stay as they are (UTF-8).
IniDocument ParseIni(std::string_view bytes);
std::string SerializeIni(const IniDocument& doc);

// A missing file gives an empty document; one that cannot be read (a
// folder, a pipe, a device, a file beyond any ini's size) an empty one that
// SaveIniFile refuses.
IniDocument LoadIniFile(const std::string& path);
// Replaces the file atomically (temporary file beside it, flushed to disk,
// then renamed over it; a symbolic link is followed and kept). Creates the
// parent folder when it is missing. On failure the old file stays whole and
// the answer is false.
bool SaveIniFile(const std::string& path, const IniDocument& doc);

// The value of a key: blanks around it removed, and one pair of enclosing
// double quotes removed. nullopt when the section or key is missing.
std::optional<std::string> IniGet(const IniDocument& doc, std::string_view section, std::string_view key);
void IniSet(IniDocument& doc, std::string_view section, std::string_view key, std::string_view value);
// A text value as the file must hold it to read back byte for byte: blanks
// at either end, or double quotes at both, would be taken away by IniGet,
// so such a value is written inside one more pair of double quotes.
std::string QuoteIniText(std::string_view value);

// One-key reads and writes against a file, as the private-profile calls do.
std::string ReadIniString(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view fallback);
bool WriteIniString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value);

// Value syntax. A number is decimal, leading blanks skipped, an optional
// minus sign, digits up to the first other character, wrapping like a 32-bit
// integer; non-numeric text is 0, an empty value gives the fallback.
int ParseIniNumber(std::string_view value, int fallback);
// "ON" in any letter case is on; any other text is off.
bool ParseIniSwitch(std::string_view value);

}  // namespace qel
