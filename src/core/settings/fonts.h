// The fonts of the list and the pane as the ini keeps them (face, size in
// points, style): given to the window, chosen in the font dialog, and made
// larger or smaller by the keys.
#pragma once

#include "core/state.h"

namespace qel {

// A font's pixel height (negative: character height) for a size in points.
int FontPixelHeight(int points, int pixelsPerInch);
// The size in points, to the nearest whole point, for a dialog's height.
int FontPointsFromHeight(int height, int pixelsPerInch);
// The font of the list or the pane, from the settings, given to the window.
void MakeControlFont(AppState& state, Control control);
// The font dialog for the list or the pane, preset from the settings; on
// confirmation the settings take the chosen size, face and style. Returns
// whether the user confirmed.
bool ChooseControlFont(AppState& state, Control control);
// The font size keys: 106 back to 9, 107 plus one, 109 minus one while 7 or
// more. Returns the new size.
int AdjustFontSize(int command, int size);

}  // namespace qel
