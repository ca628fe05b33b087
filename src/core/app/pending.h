// Actions of the command table whose work belongs to features still to
// come. Each is called from exactly one place in the table and does nothing
// until its feature arrives.
#pragma once

#include "core/state.h"

namespace qel {

// Frame capture to a bitmap file (40019) and to the clipboard (40021).
void CaptureToFile(AppState& state);
void CaptureToClipboard(AppState& state);

}  // namespace qel
