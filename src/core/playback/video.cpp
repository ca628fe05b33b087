#include "core/playback/video.h"

namespace qel {

// Filled by the video placement work (screen modes and ViewSize sizing).
void PlacePicture(AppState&) {}

// Filled by the pane painting work, which owns the pane's background.
void WipePane(AppState&) {}

// Filled by the video placement work (windowed and full-screen modes).
void NextScreenMode(AppState&) {}

}  // namespace qel
