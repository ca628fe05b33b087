// The numbered commands: every button, menu item, key, taskbar button and
// remote command of a second start arrives here as one number.
#pragma once

#include <span>

#include "core/state.h"

namespace qel {

// Runs the command's action. Returns 1 when the number is in the table
// (handled), 0 otherwise. notification: the high word that came with it
// (2 for the list's double click).
int DispatchCommand(AppState& state, int command, int notification);

// The window's wrapper: stopRows first, so a rows rebuild in progress ends;
// then the command; then, when the list is not empty and the command was
// handled, the position display follows the current entry.
int HandleCommand(AppState& state, int command, int notification);

// The numbers the table knows, ascending.
std::span<const int> CommandNumbers();

}  // namespace qel
