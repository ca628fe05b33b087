// Byte layouts the metadata tests build themselves, and a temporary folder.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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
inline uint32_t ReadSyncsafe(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (size_t i = at; i < at + 4; ++i) v = (v << 7) | (static_cast<uint8_t>(s[i]) & 0x7F);
  return v;
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

// Ogg pages of one logical stream carrying the packets back to back, at
// most maxSegments lacing values a page, with the flags and checksum a muxer
// writes. firstSequence 0 makes the first page the stream's first.
inline uint32_t OggCrc(const std::string& page) {
  uint32_t crc = 0;
  for (char ch : page) {
    crc ^= uint32_t(static_cast<uint8_t>(ch)) << 24;
    for (int i = 0; i < 8; ++i) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  return crc;
}
inline std::string OggStream(uint32_t serial, const std::vector<std::string>& packets, size_t maxSegments = 255,
                             uint32_t firstSequence = 0) {
  std::string lacing, data;
  for (const std::string& packet : packets) {
    size_t left = packet.size();
    for (;;) {
      size_t v = left < 255 ? left : 255;
      lacing.push_back(char(v));
      left -= v;
      if (v < 255) break;
    }
    data += packet;
  }
  std::string out;
  uint32_t sequence = firstSequence;
  size_t at = 0, dataAt = 0;
  bool continued = false;
  while (at < lacing.size()) {
    size_t n = lacing.size() - at < maxSegments ? lacing.size() - at : maxSegments;
    size_t bytes = 0;
    for (size_t i = at; i < at + n; ++i) bytes += static_cast<uint8_t>(lacing[i]);
    uint8_t flags = (continued ? 0x01 : 0) | (sequence == 0 ? 0x02 : 0);
    std::string page = "OggS" + std::string(1, '\0') + char(flags) + Z(8) + LE(serial, 4) + LE(sequence++, 4) + Z(4) +
                       char(n) + lacing.substr(at, n) + data.substr(dataAt, bytes);
    page.replace(22, 4, LE(OggCrc(page), 4));
    out += page;
    continued = static_cast<uint8_t>(lacing[at + n - 1]) == 255;
    at += n;
    dataAt += bytes;
  }
  return out;
}
inline std::string VorbisIdPacket() { return "\x01vorbis" + LE(0, 4) + std::string("\x02\x44\xAC\0\0", 5) + Z(12) + "\xB8\x01"; }
inline std::string VorbisCommentPacket(const std::vector<std::string>& items) { return "\x03vorbis" + Comments(items) + "\x01"; }

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
