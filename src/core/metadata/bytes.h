// Bounds-checked access to the bytes of a media file. Every reader goes
// through these: a read past the end yields zeros or a shorter view, never a
// read outside the buffer, and no size taken from a file is used before it is
// clipped to what the file really holds and to what its field can sensibly
// hold (the bounds live beside the reads that trust them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qel::meta {

// A view of bytes with checked getters; offsets are relative to the view.
struct Bytes {
  std::string_view s;

  size_t size() const { return s.size(); }
  bool Has(uint64_t off, uint64_t n) const { return off <= s.size() && n <= s.size() - off; }
  uint8_t U8(uint64_t off) const { return off < s.size() ? static_cast<uint8_t>(s[off]) : 0; }
  uint64_t BE(uint64_t off, int n) const {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | U8(off + i);
    return v;
  }
  uint64_t LE(uint64_t off, int n) const {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | U8(off + i);
    return v;
  }
  uint32_t BE16(uint64_t off) const { return static_cast<uint32_t>(BE(off, 2)); }
  uint32_t BE24(uint64_t off) const { return static_cast<uint32_t>(BE(off, 3)); }
  uint32_t BE32(uint64_t off) const { return static_cast<uint32_t>(BE(off, 4)); }
  uint64_t BE64(uint64_t off) const { return BE(off, 8); }
  uint32_t LE16(uint64_t off) const { return static_cast<uint32_t>(LE(off, 2)); }
  uint32_t LE32(uint64_t off) const { return static_cast<uint32_t>(LE(off, 4)); }
  uint64_t LE64(uint64_t off) const { return LE(off, 8); }
  // Four 7-bit groups, most significant first.
  uint32_t Syncsafe(uint64_t off) const {
    return (uint32_t(U8(off) & 0x7F) << 21) | (uint32_t(U8(off + 1) & 0x7F) << 14) |
           (uint32_t(U8(off + 2) & 0x7F) << 7) | uint32_t(U8(off + 3) & 0x7F);
  }
  // Exact bytes at off.
  bool Is(uint64_t off, std::string_view magic) const {
    return Has(off, magic.size()) && s.compare(off, magic.size(), magic) == 0;
  }
  // ASCII letters compared without regard to case.
  bool IsNoCase(uint64_t off, std::string_view magic) const;
  // The bytes at [off, off + n), clipped to the view.
  std::string_view Sub(uint64_t off, uint64_t n) const {
    if (off >= s.size()) return {};
    return s.substr(off, n < s.size() - off ? n : s.size() - off);
  }
};

// The most one read may ask for: above every bound a reader sets (the
// largest is a cover picture's). A request beyond it is a reader's mistake
// and answers nothing rather than allocating what a damaged file claims.
constexpr uint64_t kMaxRead = 64u << 20;

// A media file (or a buffer standing in for one) read by ranges. Reads of a
// file go through a small cache so that walks of many small headers cost few
// system calls. A view returned by Get lives until the next Get or Copy.
// Requests longer than kMaxRead answer nothing.
class Source {
 public:
  // A regular file opened for reading; nothing for a missing file, a folder,
  // a pipe or a device.
  static std::optional<Source> OpenFile(const std::string& path);
  static Source Memory(std::string_view bytes) { return Source(bytes); }

  Source(Source&& other) noexcept;
  Source& operator=(Source&&) = delete;
  Source(const Source&) = delete;
  ~Source();

  uint64_t Size() const { return size_; }
  // The bytes at [off, off + n), shorter when the file ends first.
  Bytes Get(uint64_t off, uint64_t n);
  // An owned copy of the same range.
  std::string Copy(uint64_t off, uint64_t n);

 private:
  explicit Source(std::string_view memory) : memory_(memory), size_(memory.size()) {}
  Source(int fd, uint64_t size) : fd_(fd), size_(size) {}
  bool ReadAt(uint64_t off, char* out, size_t n);

  int fd_ = -1;
  std::string_view memory_;
  uint64_t size_ = 0;
  std::string cache_;
  uint64_t cacheOff_ = 0;
};

// Bytes read front to back: a range of a source, or bytes spread over a
// container's own framing (an unsynchronised ID3 tag, an Ogg packet over
// pages). Walks over such bytes are written once against this.
class Stream {
 public:
  virtual ~Stream() = default;
  // The next bytes, at most n of them (fewer when the stream ends first).
  // n is the caller's bound, never a size taken unchecked from a file.
  virtual std::string Read(uint64_t n) = 0;
  // Passes over n bytes without keeping them; answers how many there were.
  virtual uint64_t Skip(uint64_t n) = 0;

  // A little-endian 32-bit number; false when the stream ends first.
  bool ReadLE32(uint32_t* value);
};

// The bytes [start, end) of a source.
class RangeStream final : public Stream {
 public:
  RangeStream(Source& src, uint64_t start, uint64_t end);
  std::string Read(uint64_t n) override;
  uint64_t Skip(uint64_t n) override;

 private:
  Source& src_;
  uint64_t pos_, end_;
};

// Lower-case extension of a path's file name, with its dot (".mp3"), or empty.
std::string LowerExtension(std::string_view path);

// Text helpers shared by the readers.
std::string_view CutAtZero(std::string_view bytes);
// UTF-16 up to the first zero unit; a trailing odd byte is taken as a unit
// whose high byte is zero.
std::string Utf16UntilZero(std::string_view bytes, bool bigEndian);
bool StartsNoCase(std::string_view text, std::string_view prefix);

// Whole seconds from a double, with NaN, negatives and huge values kept in
// range.
int ClampSeconds(double seconds);
int CeilSeconds(double seconds);

}  // namespace qel::meta
