#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  auto a = fuzz::Input(data, size);
  fuzz::Touch(meta::OggTitle(a));
  return 0;
}
