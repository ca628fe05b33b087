#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  auto a = fuzz::Input(data, size);
  fuzz::Touch(meta::RealMediaTitle(a));
  auto b = fuzz::Input(data, size);
  (void)meta::RealMediaLength(b);
  return 0;
}
