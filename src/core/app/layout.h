// Where the list, the pane, the two small buttons at the top right and the
// time label go for a client size, and the height of the list's rows.
#pragma once

#include "core/state.h"

namespace qel {

struct ControlSizes {
  int button1012Width = 0, button1012Height = 0;
  int button1013Width = 0, button1013Height = 0;
  int labelWidth = 0, labelHeight = 0;
  Rect positionBar;  // the position slider's current rectangle (client)
};

struct WindowLayout {
  bool placeListAndPane = false;  // false in the full-screen views
  bool paneCoversWindow = false;  // the full-screen views: pane = the client area
  Rect list, pane;                // client coordinates
  bool hideTopRight = false;      // 1012, 1013 and the label hidden
  bool showTopRight = false;      // and placed at the rectangles below
  Rect button1012, button1013, timeLabel, positionBar;
  bool paintPicture = false;
  int gap = 0;
};

// The layout pass. sizeType 1 means minimised; showTopRight only from a size
// message. ListWidth is clamped here and button 1013 may get icon 113.
WindowLayout LayOutWindow(AppState& state, int clientWidth, int clientHeight, int sizeType, bool showTopRight,
                          const ControlSizes& sizes);

// Row height of the list from its font's height and the default font's
// metrics.
int ListRowHeight(int fontHeight, int tmHeight, int tmExternalLeading);

}  // namespace qel
