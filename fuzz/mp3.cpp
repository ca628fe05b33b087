#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  auto a = fuzz::Input(data, size);
  fuzz::Touch(meta::Mp3Title(a));
  auto b = fuzz::Input(data, size);
  fuzz::TouchingDecoder images;
  fuzz::Touch(meta::Mp3LyricsAndPicture(b, &images).lyrics);
  auto c = fuzz::Input(data, size);
  (void)meta::MpegAudioLength(c);
  return 0;
}
