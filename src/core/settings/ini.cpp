#include "core/settings/ini.h"

#include "core/fs/atomic_file.h"
#include "core/text/encoding.h"

namespace qel {
namespace {

// Far beyond any settings file; a larger one is no ini of ours.
constexpr size_t kIniLimit = 16u << 20;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// "[name]" (blanks allowed around) gives the name; anything else is no header.
std::optional<std::string_view> SectionName(std::string_view line) {
  std::string_view t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  size_t close = t.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

// A "key=value" line; comments (";") and lines without "=" hold no key.
bool SplitKey(std::string_view line, std::string_view* key, std::string_view* value) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';') return false;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  *key = Trim(t.substr(0, eq));
  *value = t.substr(eq + 1);
  return !key->empty();
}

// The lines of a section: [first, last) after its header; first == npos
// when the section is missing. Only the first section of a name counts.
struct SectionRange {
  size_t header = std::string::npos;
  size_t end = 0;
};

SectionRange FindSection(const IniDocument& doc, std::string_view section) {
  SectionRange r;
  for (size_t i = 0; i < doc.lines.size(); ++i) {
    auto name = SectionName(doc.lines[i].text);
    if (!name) continue;
    if (r.header != std::string::npos) {
      r.end = i;
      return r;
    }
    if (EqualNoCase(*name, section)) r.header = i;
  }
  r.end = doc.lines.size();
  return r;
}

std::string DecodeText(std::string_view bytes, IniEncoding* encoding) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    *encoding = IniEncoding::Utf16Le;
    return Utf16ToUtf8(bytes.substr(2), false);
  }
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE && static_cast<unsigned char>(bytes[1]) == 0xFF) {
    *encoding = IniEncoding::Utf16Be;
    return Utf16ToUtf8(bytes.substr(2), true);
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    *encoding = IniEncoding::Utf8Bom;
    return std::string(bytes.substr(3));
  }
  // Without a mark the text is taken as UTF-8 byte for byte, so a path that
  // is no valid UTF-8 still comes back exactly as it was written.
  *encoding = IniEncoding::Utf8;
  return std::string(bytes);
}

}  // namespace

IniDocument ParseIni(std::string_view bytes) {
  IniDocument doc;
  std::string text = DecodeText(bytes, &doc.encoding);
  bool endChosen = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t stop = text.find_first_of("\r\n", pos);
    IniLine line;
    if (stop == std::string::npos) {
      line.text = text.substr(pos);
      pos = text.size();
    } else {
      line.text = text.substr(pos, stop - pos);
      if (text[stop] == '\r' && stop + 1 < text.size() && text[stop + 1] == '\n') {
        line.end = "\r\n";
        pos = stop + 2;
      } else {
        line.end = std::string(1, text[stop]);
        pos = stop + 1;
      }
      if (!endChosen) {
        doc.newLineEnd = line.end;
        endChosen = true;
      }
    }
    doc.lines.push_back(std::move(line));
  }
  return doc;
}

std::string SerializeIni(const IniDocument& doc) {
  std::string text;
  for (const IniLine& line : doc.lines) {
    text += line.text;
    text += line.end;
  }
  switch (doc.encoding) {
    case IniEncoding::Utf8:
      return text;
    case IniEncoding::Utf8Bom:
      return "\xEF\xBB\xBF" + text;
    case IniEncoding::Utf16Le:
      return "\xFF\xFE" + Utf8ToUtf16(text, false);
    case IniEncoding::Utf16Be:
      return "\xFE\xFF" + Utf8ToUtf16(text, true);
  }
  return text;
}

IniDocument LoadIniFile(const std::string& path) {
  std::string bytes;
  bool cut = false;
  switch (ReadRegularFile(path, kIniLimit, &bytes, &cut)) {
    case ReadResult::Missing:
      return {};  // no file: every default, and a save creates it
    case ReadResult::Read:
      if (!cut) return ParseIni(bytes);
      break;
    case ReadResult::NotRegular:  // a folder, a pipe, a device: never ours to replace
    case ReadResult::Failed:
      break;
  }
  IniDocument failed;
  failed.readFailed = true;
  return failed;
}

bool SaveIniFile(const std::string& path, const IniDocument& doc) {
  if (doc.readFailed) return false;
  return ReplaceFileAtomically(path, SerializeIni(doc));
}

std::optional<std::string> IniGet(const IniDocument& doc, std::string_view section, std::string_view key) {
  SectionRange r = FindSection(doc, section);
  if (r.header == std::string::npos) return std::nullopt;
  for (size_t i = r.header + 1; i < r.end; ++i) {
    std::string_view k, v;
    if (!SplitKey(doc.lines[i].text, &k, &v) || !EqualNoCase(k, key)) continue;
    v = Trim(v);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return std::string(v);
  }
  return std::nullopt;
}

void IniSet(IniDocument& doc, std::string_view section, std::string_view key, std::string_view value) {
  // A value can never carry a line end into the file: it would become lines
  // of its own, even keys.
  std::string clean;
  for (char c : value) clean.push_back(c == '\r' || c == '\n' ? ' ' : c);
  SectionRange r = FindSection(doc, section);
  if (r.header == std::string::npos) {
    if (!doc.lines.empty()) {
      IniLine& last = doc.lines.back();
      if (last.end.empty()) last.end = doc.newLineEnd;
      if (!Trim(last.text).empty()) doc.lines.push_back({"", doc.newLineEnd});
    }
    doc.lines.push_back({"[" + std::string(section) + "]", doc.newLineEnd});
    doc.lines.push_back({std::string(key) + "=" + clean, doc.newLineEnd});
    return;
  }
  size_t lastContent = r.header;
  for (size_t i = r.header + 1; i < r.end; ++i) {
    std::string_view k, v;
    if (SplitKey(doc.lines[i].text, &k, &v) && EqualNoCase(k, key)) {
      // Keep the key as the file spells it and whatever stood before it.
      const std::string& text = doc.lines[i].text;
      size_t eq = text.find('=');
      doc.lines[i].text = text.substr(0, eq + 1) + clean;
      return;
    }
    // A new key follows the section's last key, so that the blank lines and
    // comments that lead to the next section stay with it.
    if (SplitKey(doc.lines[i].text, &k, &v)) lastContent = i;
  }
  IniLine& before = doc.lines[lastContent];
  if (before.end.empty()) before.end = doc.newLineEnd;
  doc.lines.insert(doc.lines.begin() + static_cast<long>(lastContent) + 1,
                   IniLine{std::string(key) + "=" + clean, doc.newLineEnd});
}

std::string QuoteIniText(std::string_view value) {
  bool blankEnds = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
  bool quotedEnds = value.size() >= 2 && value.front() == '"' && value.back() == '"';
  if (!blankEnds && !quotedEnds) return std::string(value);
  return "\"" + std::string(value) + "\"";
}

std::string ReadIniString(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view fallback) {
  auto v = IniGet(LoadIniFile(path), section, key);
  return v ? *v : std::string(fallback);
}

bool WriteIniString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value) {
  IniDocument doc = LoadIniFile(path);
  IniSet(doc, section, key, value);
  return SaveIniFile(path, doc);
}

int ParseIniNumber(std::string_view value, int fallback) {
  if (value.empty()) return fallback;
  size_t i = 0;
  while (i < value.size() && IsBlank(value[i])) ++i;
  bool negative = false;
  if (i < value.size() && value[i] == '-') {
    negative = true;
    ++i;
  }
  uint32_t n = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) n = n * 10u + static_cast<uint32_t>(value[i] - '0');
  if (negative) n = 0u - n;
  return static_cast<int>(n);
}

bool ParseIniSwitch(std::string_view value) { return EqualNoCase(value, "ON"); }

}  // namespace qel
