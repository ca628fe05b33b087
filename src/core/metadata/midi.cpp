// Standard MIDI files: the title from the first track's name event, else its
// text events joined, else the name event of the second chunk.
//
// Where this reading goes further than the plain one, and why:
// - Event lengths are read as the variable-length quantities they are, so
//   names of 128 bytes or more are read whole instead of cut or misread.
// - Only the first MiB of a chunk is scanned: names and texts stand at its
//   start, and a damaged length must not make the scan read a whole disk.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/metadata/readers.h"
#include "core/text/encoding.h"

namespace qel::meta {
namespace {

// Joined text events longer than this are cut: a karaoke file carries its
// whole lyrics as text events, which would make no title.
constexpr size_t kMaxJoined = 259;
// How much of a chunk is scanned for name and text events.
constexpr uint64_t kMaxScan = 1u << 20;

// Meta event lengths are variable-length quantities (seven bits a byte, high
// bit set on all but the last); *len gets the value and the bytes used.
bool ReadQuantity(std::string_view d, size_t at, uint64_t* value, size_t* used) {
  uint64_t v = 0;
  for (size_t i = 0; i < 4; ++i) {
    if (at + i >= d.size()) return false;
    uint8_t c = static_cast<uint8_t>(d[at + i]);
    v = (v << 7) | (c & 0x7F);
    if (!(c & 0x80)) {
      *value = v;
      *used = i + 1;
      return true;
    }
  }
  return false;
}

// The texts of every FF <kind> event with a non-zero length in d, in order;
// with first set, only the first.
void FindEvents(std::string_view d, uint8_t kind, bool first, std::vector<std::string_view>* out) {
  for (size_t i = 0; i + 2 < d.size(); ++i) {
    const void* ff = std::memchr(d.data() + i, 0xFF, d.size() - 2 - i);
    if (!ff) return;
    i = static_cast<const char*>(ff) - d.data();
    if (static_cast<uint8_t>(d[i + 1]) != kind) continue;
    uint64_t len = 0;
    size_t used = 0;
    if (!ReadQuantity(d, i + 2, &len, &used) || len == 0) continue;
    size_t text = i + 2 + used;
    out->push_back(d.substr(text, len < d.size() - text ? len : d.size() - text));
    if (first) return;
  }
}

std::string Clean(std::string_view raw) {
  std::string s(raw);
  for (char& c : s)
    if (c == '\n' || c == '\r') c = ' ';
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return LegacyToUtf8(std::string_view(s).substr(b, e - b + 1));
}

}  // namespace

std::string MidiTitle(Source& src) {
  Bytes head = src.Get(0, 22);
  if (!head.IsNoCase(0, "MThd") || !head.Has(0, 22)) return {};
  uint64_t trackLen = head.BE32(18);
  std::string track = src.Copy(22, std::min(trackLen, kMaxScan));
  std::vector<std::string_view> found;
  FindEvents(track, 0x03, true, &found);
  if (!found.empty()) return Clean(found[0]);
  FindEvents(track, 0x01, false, &found);
  std::string joined;
  for (std::string_view t : found) {
    if (!joined.empty()) joined.push_back(' ');
    joined.append(t);
    if (joined.size() >= kMaxJoined) {
      joined.resize(kMaxJoined);
      break;
    }
  }
  if (!joined.empty()) return Clean(joined);
  uint64_t next = 22 + trackLen;
  if (next >= src.Size()) return {};
  // The second chunk's length counts the data after its 8-byte header, so
  // the data is scanned, not the header and a shorter run of the data.
  uint64_t nextLen = src.Get(next + 4, 4).BE32(0);
  std::string chunk = src.Copy(next + 8, std::min(nextLen, kMaxScan));
  found.clear();
  FindEvents(chunk, 0x03, true, &found);
  return found.empty() ? std::string() : Clean(found[0]);
}

}  // namespace qel::meta
