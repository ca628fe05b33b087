// The engine's Standard MIDI File reader: a song of the fuzzer's bytes.
// Its events must come in time order.
#include "engine/smf.h"
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  if (const auto song = qel::engine::ParseSmf(bytes)) {
    (void)song;
  }
  return 0;
}
