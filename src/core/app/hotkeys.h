// The global media keys: previous, next, stop, play/pause, volume up and
// down, whichever window has the focus.
#pragma once

#include "core/state.h"

namespace qel {

constexpr int kKeyVolumeDown = 0xAE;
constexpr int kKeyVolumeUp = 0xAF;
constexpr int kKeyNextTrack = 0xB0;
constexpr int kKeyPreviousTrack = 0xB1;
constexpr int kKeyStop = 0xB2;
constexpr int kKeyPlayPause = 0xB3;
// Keys of their own for play and for pause, which some keyboards and every
// desktop media control have beside the play/pause key: each does the half
// of play/pause that applies, and nothing otherwise.
constexpr int kKeyPlay = 0xFA;
constexpr int kKeyPause = 0x13;

// One media key (its virtual-key code). Every key ends with the position
// slider's range following the current entry and the volume applied.
void OnHotKey(AppState& state, int virtualKey);

}  // namespace qel
