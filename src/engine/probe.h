// The quick length measurement: container headers and stream information
// only, no decoding and no output device.
#pragma once

#include <optional>
#include <string>

namespace qel::engine {

// Length in milliseconds through libavformat; nullopt when the file cannot be
// opened or has no length. (The engine measures songs by their tempo map.)
std::optional<long long> ProbeLengthMs(const std::string& path);

}  // namespace qel::engine
