// Where the picture of a playing video goes and how it is sized.
#pragma once

#include "core/state.h"

namespace qel {

// Places the device's picture inside the pane by screenMode and ViewSize.
void PlacePicture(AppState& state);

// Fills the pane with its background colour, so the last frame of a closed
// video does not stay on screen.
void WipePane(AppState& state);

// The Home key: the next screen mode of the video view.
void NextScreenMode(AppState& state);

}  // namespace qel
