// Where the picture of a playing video goes in the pane, how large it is,
// and the screen modes the Home key and a double click cycle through.
#pragma once

#include <optional>
#include <vector>

#include "core/state.h"

namespace qel {

// The source picture's size from a "where ... source" answer (left, top,
// width, height): nothing for fewer than four numbers or an empty picture.
struct PictureSize {
  int width = 0;
  int height = 0;
};
std::optional<PictureSize> ParseSourceSize(const std::string& answer);

// The video window's rectangle (left, top, right, bottom) inside a pane of
// paneWidth x paneHeight for a picture: scaled to fit (or, in screen mode 4,
// to fill) for ZOOM, the source size for ORIGINAL, the largest whole
// multiple that fits for MULTIPLE; centred, so it may start at a negative
// position.
Rect PictureDestination(PictureSize picture, int paneWidth, int paneHeight, int screenMode,
                        ViewSizeMode viewSize);

// The four areas of the pane around a destination that show the background
// colour: above, below, left and right of the picture.
std::vector<Rect> BackgroundBands(const Rect& destination, int paneWidth, int paneHeight);

// Places the device's picture inside the pane by screenMode and ViewSize
// and paints the bands around it. Nothing when no file or no picture is open.
void PlacePicture(AppState& state);

// Fills the whole pane with its background colour, so the last frame of a
// closed video does not stay on screen.
void WipePane(AppState& state);

// The Home key and a double click: normal, maximised, full screen, and full
// screen with the picture filling it, that last one only when the picture's
// shape differs from the pane's.
void CycleScreenMode(AppState& state);

}  // namespace qel
