#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  auto a = fuzz::Input(data, size);
  (void)meta::AviLength(a);
  auto b = fuzz::Input(data, size);
  (void)meta::WavLength(b);
  return 0;
}
