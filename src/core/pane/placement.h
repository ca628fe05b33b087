// Where a picture goes: behind the pane's text by the ViewSize rule, and
// behind the list's rows fitted to the list.
#pragma once

#include <cstdint>

#include "core/state.h"

namespace qel {

// The pane's background behind the picture in dark mode (0xRRGGBB); in
// light mode it is the style's button face.
inline constexpr uint32_t kDarkBackground = 0x404040;

// The rectangle the picture is drawn into: the pane's rectangle less its
// vertical scroll bar, inset by the edge on every side except in the
// full-screen views (screen modes 3 and 4).
Rect PanePictureArea(Rect pane, int scrollBarWidth, int edgeWidth, int edgeHeight, int screenMode);

// One picture drawing: the part of the picture taken and where it lands.
struct PictureDraw {
  Rect source;       // in picture pixels
  Rect destination;  // in the same coordinates as the area
  bool smooth = false;  // smoothed (ZOOM) or repeated pixels
};

// Whether the pane paints the picture at all: the switch is on, there is a
// picture, and the pane is visible.
bool PaintsPanePicture(const AppState& state, bool paneVisible);

// The ViewSize rules for a w x h picture in area R. ZOOM fits the picture
// smoothly, left or top aligned on the long side and centred on the other;
// ORIGINAL draws it at its size, centred when small and showing its centre
// when large; MULTIPLE draws it k times its size for the largest whole k
// that fits (at least 1), placed and cut as ORIGINAL, its pixels repeated.
// Nothing is drawn (an empty destination) for an empty area or picture.
PictureDraw PlacePanePicture(ViewSizeMode mode, Rect area, int w, int h);

// Where a w x h picture goes in the list's client area (0, 0, W, H),
// aspect kept: the full width from the top-left corner when the list is
// relatively taller than the picture, else the full height centred
// horizontally.
Rect FitListPicture(int clientWidth, int clientHeight, int w, int h);

}  // namespace qel
