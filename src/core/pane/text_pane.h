// The pane's text and picture for an entry: its companion text or lyrics
// and its picture.
#pragma once

#include "core/state.h"

namespace qel {

// Shows the entry's text and picture in the pane. Does nothing yet: the
// text-and-lyrics pane work fills it.
void ShowPaneEntry(AppState& state, int index);

}  // namespace qel
