// Shared by the harnesses: the fuzzer's bytes as a media file in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/metadata/readers.h"

namespace qel::fuzz {

inline meta::Source Input(const uint8_t* data, size_t size) {
  return meta::Source::Memory(std::string_view(reinterpret_cast<const char*>(data), size));
}

// Touches every byte of an answer so that a bad view is caught where it is
// made.
inline void Touch(std::string_view s) {
  static volatile size_t sink = 0;
  size_t sum = 0;
  for (char c : s) sum += static_cast<unsigned char>(c);
  sink = sink + sum;
}

}  // namespace qel::fuzz
