// The position slider (tenths of a second), the time read-out, the taskbar
// progress, seeking, and the end of a file detected from the position.
#pragma once

#include "core/state.h"

namespace qel {

// Slider notification codes as trackbars number them.
constexpr int kSliderLineUp = 0;
constexpr int kSliderLineDown = 1;
constexpr int kSliderPageUp = 2;
constexpr int kSliderPageDown = 3;
constexpr int kSliderThumbPosition = 4;
constexpr int kSliderThumbTrack = 5;
constexpr int kSliderTop = 6;
constexpr int kSliderBottom = 7;
constexpr int kSliderEndTrack = 8;

// The slider's channel margins on each side, in pixels.
constexpr int kSliderChannelMargin = 9;

// Timer 1 tick.
void OnPositionTimer(AppState& state);

// A notification of the position slider. mouseX and sliderRect (screen
// coordinates) matter for the channel clicks (codes 2 and 3) only.
void OnPositionSlider(AppState& state, int code, int thumb, int mouseX, Rect sliderRect);

// step: +-1, +-10, +-60, +-600 seconds.
void SeekBySeconds(AppState& state, int step);
// k: 0 to 9, tenths of the length.
void SeekToTenth(AppState& state, int k);

// Moves an open file to ms (below 0: the start) as the release of the
// slider's thumb does: a paused file stays paused there, a place at or past
// the end ends the file as its end would, a stopped one stays at 0. The
// slider and the read-out follow. Nothing when no file is open.
void SeekToMilliseconds(AppState& state, long long ms);

// lengthSeconds for the entry at currentIndex. The length reader (which may
// probe the file through the device) runs only when that entry is another
// file than the one measured last; without a current entry nothing changes.
void UpdateLengthSeconds(AppState& state);

// After a change of entry: lengthSeconds (UpdateLengthSeconds), the slider's
// range, its position from the device, and the taskbar progress.
void RefreshPositionDisplay(AppState& state);

// Reads a device answer as a decimal number: leading digits, else 0.
long long ReadDecimal(const std::string& answer);

}  // namespace qel
