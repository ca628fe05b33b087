// The one volume curve of every output. A level of 0..1 (the volume slider's
// place) becomes a linear amplitude factor once, wherever the sound is made.
#pragma once

#include <algorithm>
#include <cmath>

namespace qel::engine {

// Amplitude = level^1.75: half the slider sounds about half as loud
// (-10.5 dB), a fifth of it -24.5 dB, and the lowest steps stay audible
// steps rather than a cliff; 0 is silence.
constexpr double kLoudnessExponent = 1.75;

inline double LoudnessGain(double level) {
  level = std::clamp(level, 0.0, 1.0);
  return level <= 0.0 ? 0.0 : std::pow(level, kLoudnessExponent);
}

}  // namespace qel::engine
