// The text conversions the readers and playlists use, under the code pages
// a user may name: whatever the bytes, the answers are valid UTF-8, valid
// UTF-8 comes back whole from UTF-16, and the code point count agrees with
// a walk of the same text.
#include <cstdlib>

#include "core/text/encoding.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  if (size < 1) return 0;
  static const char* const kCodePages[] = {"", "CP932", "CP1252", "EUC-JP", "GB18030", "no such charset"};
  SetLegacyCodePage(kCodePages[(data[0] >> 4) % std::size(kCodePages)]);
  std::string_view in(reinterpret_cast<const char*>(data) + 1, size - 1);
  auto valid = [](const std::string& s) {
    if (!IsValidUtf8(s)) abort();
    fuzz::Touch(s);
  };
  switch (data[0] % 6) {
    case 0:
      valid(LegacyToUtf8(in));
      break;
    case 1:
      valid(Utf16ToUtf8(in, false));
      valid(Utf16ToUtf8(in, true));
      break;
    case 2: {
      std::string clean = SanitizeUtf8(in);
      valid(clean);
      if (IsValidUtf8(in) && clean != in) abort();
      break;
    }
    case 3: {
      std::string clean = SanitizeUtf8(in);
      for (bool big : {false, true})
        if (Utf16ToUtf8(Utf8ToUtf16(clean, big), big) != clean) abort();
      break;
    }
    case 4:
      valid(LegacyToUtf8(Utf8ToLegacy(SanitizeUtf8(in))));
      fuzz::Touch(Utf8ToLegacy(in));
      break;
    case 5: {
      size_t steps = 0;
      for (size_t pos = 0; pos < in.size(); ++steps) {
        size_t before = pos;
        uint32_t cp = DecodeUtf8(in, &pos);
        if (pos <= before || pos > in.size() || cp > 0x10FFFF) abort();
        std::string one;
        AppendUtf8(one, cp);
        valid(one);
      }
      if (steps != CountCodePoints(in)) abort();
      break;
    }
  }
  return 0;
}
