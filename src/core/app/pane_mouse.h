// The mouse over the pane and the main window's double click: a click
// pauses or resumes, a double click cycles the screen mode (or, on the
// splitter, shows or hides the list).
#pragma once

#include "core/state.h"

namespace qel {

// The pointer moved over the pane (screen position): a press before it no
// longer counts as a click.
void PaneMouseMove(AppState& state, Point screenPoint);
void PaneLeftPress(AppState& state);
// A press and release without movement pauses a playing file and resumes a
// paused one.
void PaneLeftRelease(AppState& state);
// The pane's double click: first resumes what its first click paused, then
// goes on as the main window's double click.
void PaneDoubleClick(AppState& state, int clientWidth);
// The main window's double click: on the splitter the list toggles between
// hidden and its default width; anywhere else the screen mode cycles.
void MainWindowDoubleClick(AppState& state, int clientWidth);

// How long the pointer rests over a playing picture before it is hidden.
constexpr int kPointerRestMs = 5000;

}  // namespace qel
