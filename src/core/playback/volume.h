// One volume (0 to 1000) for every output: the open device, the wave and
// MIDI outputs, and the master volume when the user links them.
#pragma once

#include <cstdint>

#include "core/state.h"

namespace qel {

constexpr int kVolumeMax = 1000;
constexpr int kVolumeBarMax = 100;
constexpr int kMenuMasterVolume = 2400;

// The 16-bit channel value of the wave and MIDI outputs for a volume.
uint16_t OutputChannelValue(int volume);

// Gives volume to the device, the MIDI and wave outputs and, when linked,
// the master volume.
void ApplyVolume(AppState& state);

// A notification of the volume slider; mouseX and sliderRect (screen
// coordinates) matter for channel clicks (codes 2 and 3) only.
void OnVolumeSlider(AppState& state, int code, int mouseX, Rect sliderRect);

// Page Up (up) and Page Down when neither the list nor a text pane takes
// the key: five slider steps.
void StepVolumeBar(AppState& state, bool up);

// volume from the master volume (nothing when there is none), slider follows.
void ReadMasterVolume(AppState& state);

// The media keys: volume +-50 within 0..1000, the slider and the linked
// master volume follow at once.
void StepVolumeByMediaKey(AppState& state, bool up);

// A volume set from outside the window (the desktop's media controls),
// within 0..1000: the slider follows and every output takes it.
void SetVolume(AppState& state, int volume);

}  // namespace qel
