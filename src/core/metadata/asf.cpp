// ASF (.wma, .wmv): the Content Description title and the File Properties
// play duration.
//
// Where this reading goes further than the plain one, and why: the preroll
// is milliseconds and is subtracted as such (divided by 10,000,000 like the
// duration it would subtract nothing), and the length is rounded up, since
// playback ends when the position reaches it: a truncated length stopped
// every file up to a second early.
#include <climits>
#include <cstdint>

#include "core/metadata/readers.h"
#include "core/text/encoding.h"

namespace qel::meta {
namespace {

constexpr char kHeaderGuid[] = "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C";
constexpr char kContentGuid[] = "\x33\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C";
constexpr char kPropertiesGuid[] = "\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65";

std::string_view Guid(const char* g) { return std::string_view(g, 16); }

// A header holds about ten objects; a count of millions is damage.
constexpr uint32_t kMaxObjects = 1024;

// Visits the header's child objects until visit returns true. An object
// whose size is smaller than its own header, or that runs past the file,
// ends the walk.
template <typename Visit>
void WalkHeader(Source& src, Visit visit) {
  Bytes head = src.Get(0, 30);
  if (!head.Has(0, 30) || !head.Is(0, Guid(kHeaderGuid))) return;
  uint32_t count = head.LE32(24);
  uint64_t pos = 30;
  const uint64_t size = src.Size();
  for (uint32_t i = 0; i < count && i < kMaxObjects && pos <= size && size - pos >= 24; ++i) {
    Bytes obj = src.Get(pos, 24);
    uint64_t objSize = obj.LE64(16);
    if (objSize < 24) return;
    std::string guid(obj.Sub(0, 16));
    if (visit(guid, pos, objSize)) return;
    if (objSize > size - pos) return;
    pos += objSize;
  }
}

}  // namespace

std::string AsfTitle(Source& src) {
  std::string title;
  WalkHeader(src, [&](const std::string& guid, uint64_t pos, uint64_t objSize) {
    if (guid != Guid(kContentGuid)) return false;
    Bytes b = src.Get(pos, 34);
    if (!b.Has(0, 34)) return true;
    uint64_t len = b.LE16(24);
    if (objSize < 34) return true;
    if (len > objSize - 34) len = objSize - 34;
    title = Utf16UntilZero(src.Get(pos + 34, len).s, false);
    return true;
  });
  return title;
}

int AsfLength(Source& src) {
  int seconds = 0;
  WalkHeader(src, [&](const std::string& guid, uint64_t pos, uint64_t) {
    if (guid != Guid(kPropertiesGuid)) return false;
    Bytes b = src.Get(pos, 88);
    if (!b.Has(0, 88)) return true;
    // The play duration (100-nanosecond units) includes the preroll
    // (milliseconds) that precedes the first sample to be heard.
    uint64_t duration = b.LE64(64);
    uint64_t preroll = b.LE64(80);
    uint64_t prerollUnits = preroll > UINT64_MAX / 10000 ? UINT64_MAX : preroll * 10000;
    uint64_t units = duration > prerollUnits ? duration - prerollUnits : 0;
    uint64_t s = units / 10'000'000 + (units % 10'000'000 != 0);
    seconds = s > uint64_t(INT_MAX) ? INT_MAX : static_cast<int>(s);
    return true;
  });
  return seconds;
}

}  // namespace qel::meta
