#include "core/metadata/bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>

#include "core/text/encoding.h"

namespace qel::meta {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Small enough to stay cheap per scanned file, large enough that the headers
// of most formats arrive in one read.
constexpr uint64_t kCacheBlock = 4096;

}  // namespace

bool Bytes::IsNoCase(uint64_t off, std::string_view magic) const {
  if (!Has(off, magic.size())) return false;
  for (size_t i = 0; i < magic.size(); ++i)
    if (LowerAscii(s[off + i]) != LowerAscii(magic[i])) return false;
  return true;
}

std::optional<Source> Source::OpenFile(const std::string& path) {
  if (path.empty()) return std::nullopt;
  // Non-blocking so that a FIFO in a music folder cannot stall the scan.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
    ::close(fd);
    return std::nullopt;
  }
  return Source(fd, static_cast<uint64_t>(st.st_size));
}

Source::Source(Source&& o) noexcept
    : fd_(o.fd_), memory_(o.memory_), size_(o.size_), cache_(std::move(o.cache_)), cacheOff_(o.cacheOff_) {
  o.fd_ = -1;
}

Source::~Source() {
  if (fd_ >= 0) ::close(fd_);
}

bool Source::ReadAt(uint64_t off, char* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(fd_, out + done, n - done, static_cast<off_t>(off + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    done += static_cast<size_t>(r);
  }
  return true;
}

Bytes Source::Get(uint64_t off, uint64_t n) {
  if (off >= size_ || n > kMaxRead) return Bytes{};
  if (n > size_ - off) n = size_ - off;
  if (fd_ < 0) return Bytes{memory_.substr(off, n)};
  if (off >= cacheOff_ && off - cacheOff_ <= cache_.size() && n <= cache_.size() - (off - cacheOff_))
    return Bytes{std::string_view(cache_).substr(off - cacheOff_, n)};
  uint64_t want = n < kCacheBlock ? kCacheBlock : n;
  if (want > size_ - off) want = size_ - off;
  cache_.resize(want);
  if (!ReadAt(off, cache_.data(), want)) {
    // The file shrank or failed under us: answer nothing rather than stale bytes.
    cache_.clear();
    cacheOff_ = 0;
    return Bytes{};
  }
  cacheOff_ = off;
  return Bytes{std::string_view(cache_).substr(0, n)};
}

std::string Source::Copy(uint64_t off, uint64_t n) {
  if (off >= size_ || n > kMaxRead) return {};
  if (n > size_ - off) n = size_ - off;
  if (fd_ < 0) return std::string(memory_.substr(off, n));
  if (off >= cacheOff_ && off - cacheOff_ <= cache_.size() && n <= cache_.size() - (off - cacheOff_))
    return cache_.substr(off - cacheOff_, n);
  std::string out(n, '\0');
  if (!ReadAt(off, out.data(), n)) return {};
  return out;
}

bool Stream::ReadLE32(uint32_t* value) {
  std::string b = Read(4);
  if (b.size() < 4) return false;
  *value = Bytes{b}.LE32(0);
  return true;
}

RangeStream::RangeStream(Source& src, uint64_t start, uint64_t end)
    : src_(src), pos_(start), end_(end < src.Size() ? end : src.Size()) {
  if (pos_ > end_) pos_ = end_;
}

std::string RangeStream::Read(uint64_t n) {
  if (n > end_ - pos_) n = end_ - pos_;
  if (n > kMaxRead) n = kMaxRead;
  std::string out = src_.Copy(pos_, n);
  pos_ += out.size();
  return out;
}

uint64_t RangeStream::Skip(uint64_t n) {
  if (n > end_ - pos_) n = end_ - pos_;
  pos_ += n;
  return n;
}

std::string LowerExtension(std::string_view path) {
  size_t slash = path.rfind('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string ext(name.substr(dot));
  for (char& c : ext) c = LowerAscii(c);
  return ext;
}

std::string_view CutAtZero(std::string_view bytes) {
  size_t z = bytes.find('\0');
  return z == std::string_view::npos ? bytes : bytes.substr(0, z);
}

std::string Utf16UntilZero(std::string_view bytes, bool bigEndian) {
  size_t end = 0;
  while (end + 1 < bytes.size() && !(bytes[end] == 0 && bytes[end + 1] == 0)) end += 2;
  std::string units(bytes.substr(0, end));
  if (end + 1 == bytes.size() && bytes[end] != 0) {
    // An odd last byte: the low byte of a unit whose high byte was cut off.
    if (bigEndian) units.push_back('\0');
    units.push_back(bytes[end]);
    if (!bigEndian) units.push_back('\0');
  }
  return Utf16ToUtf8(units, bigEndian);
}

bool StartsNoCase(std::string_view text, std::string_view prefix) {
  return Bytes{text}.IsNoCase(0, prefix);
}

int ClampSeconds(double seconds) {
  if (!(seconds > 0)) return 0;  // also NaN
  if (seconds >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(seconds);
}

int CeilSeconds(double seconds) {
  if (!(seconds > 0)) return 0;
  if (seconds >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(std::ceil(seconds));
}

}  // namespace qel::meta
