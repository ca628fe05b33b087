// Byte layouts the metadata tests build themselves, and a temporary folder.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace qel::test::layouts {

inline std::string BE(uint64_t v, int n) {
  std::string s(n, '\0');
  for (int i = n - 1; i >= 0; --i, v >>= 8) s[i] = static_cast<char>(v & 0xFF);
  return s;
}
inline std::string LE(uint64_t v, int n) {
  std::string s(n, '\0');
  for (int i = 0; i < n; ++i, v >>= 8) s[i] = static_cast<char>(v & 0xFF);
  return s;
}
inline std::string Syncsafe(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 3; i >= 0; --i, v >>= 7) s[i] = static_cast<char>(v & 0x7F);
  return s;
}
inline std::string Z(size_t n) { return std::string(n, '\0'); }

// ID3v2 frames and tags.
inline std::string Frame(int major, const std::string& id, const std::string& body) {
  if (major == 2) return id + BE(body.size(), 3) + body;
  return id + (major == 4 ? Syncsafe(body.size()) : BE(body.size(), 4)) + Z(2) + body;
}
inline std::string Tag(int major, const std::string& frames, uint8_t flags = 0, size_t padding = 0) {
  std::string body = frames + Z(padding);
  return std::string("ID3") + char(major) + '\0' + char(flags) + Syncsafe(body.size()) + body;
}
inline std::string Utf16Le(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += LE(c, 2);
  return out;
}
inline std::string Utf16Be(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += BE(c, 2);
  return out;
}

// A Vorbis comment structure.
inline std::string Comments(const std::vector<std::string>& items, const std::string& vendor = "test vendor") {
  std::string s = LE(vendor.size(), 4) + vendor + LE(items.size(), 4);
  for (const auto& c : items) s += LE(c.size(), 4) + c;
  return s;
}

// MP4 box; ASF object; RealMedia chunk; EBML element.
inline std::string Box(const std::string& type, const std::string& body) { return BE(body.size() + 8, 4) + type + body; }
inline std::string FullBox(const std::string& type, const std::string& body) { return Box(type, Z(4) + body); }
inline std::string Element(const std::string& id, const std::string& data) {
  return id + char(0x08) + BE(data.size(), 4) + data;  // five-byte size field
}

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::string t = (std::filesystem::temp_directory_path() / "qel-metadata-XXXXXX").string();
    path_ = mkdtemp(t.data()) ? t : std::string();
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::string p = path_ + "/" + name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }

 private:
  std::string path_;
};

}  // namespace qel::test::layouts
