// The file source against the same bytes in memory: every Get, Copy and
// RangeStream read or skip through the file's cache must answer exactly
// what the memory source answers, near the end of the file and past it,
// and requests beyond the read ceiling must answer nothing.
// Input: a count of operations, the operations (kind, offset, length;
// 9 bytes each), then the file's bytes.
#include <cstring>

#include "harness.h"

namespace {

uint64_t Number(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  if (size < 1) return 0;
  size_t ops = data[0] % 32;
  if (size < 1 + ops * 9) return 0;
  const uint8_t* op = data + 1;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1 + ops * 9, size - 1 - ops * 9);
  const std::string path = fuzz::ScratchFolder() + "/source";
  fuzz::WriteFile(path, bytes);
  auto file = meta::Source::OpenFile(path);
  if (!file) abort();
  meta::Source memory = meta::Source::Memory(bytes);
  if (file->Size() != memory.Size()) abort();
  meta::RangeStream fileStream(*file, 0, bytes.size()), memoryStream(memory, 0, bytes.size());
  for (size_t i = 0; i < ops; ++i, op += 9) {
    // Offsets and lengths mostly near the file's size, sometimes anywhere.
    const uint64_t span = bytes.size() + 64;
    uint64_t off = op[0] & 0x80 ? Number(op + 1) : Number(op + 1) % span;
    uint64_t n = op[0] & 0x40 ? Number(op + 5) + (op[0] & 0x20 ? meta::kMaxRead : 0) : Number(op + 5) % span;
    switch (op[0] % 4) {
      case 0: {
        std::string a(file->Get(off, n).s);
        if (a != memory.Get(off, n).s) abort();
        if (n > meta::kMaxRead && !a.empty()) abort();
        break;
      }
      case 1:
        if (file->Copy(off, n) != memory.Copy(off, n)) abort();
        break;
      case 2:
        if (fileStream.Read(n) != memoryStream.Read(n)) abort();
        break;
      case 3:
        if (fileStream.Skip(n) != memoryStream.Skip(n)) abort();
        break;
    }
  }
  return 0;
}
