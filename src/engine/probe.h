// The quick length measurement: container headers and stream information
// only, no decoding and no output device.
#pragma once

#include <optional>
#include <string>

namespace qel::engine {

// Length in milliseconds; nullopt when the file cannot be opened or has no
// length. MIDI files (".mid") are measured through their tempo map.
std::optional<long long> ProbeLengthMs(const std::string& path);

}  // namespace qel::engine
