// Qt's key codes as the accelerator table's keys, and back for keys the core
// passes on to a control.
#pragma once

#include <optional>

#include "core/app/startup.h"

namespace qel::desktop {

// keypad: the key came from the numeric keypad.
std::optional<Key> KeyFromQt(int qtKey, bool keypad);
// Qt key for a virtual-key code the core forwards (Page Up, Page Down...).
int QtKeyFromVirtualKey(int virtualKey);
// The media key (its virtual-key code for OnHotKey) a Qt key is, if any.
// The keyboard's play key is its play/pause key on most keyboards.
std::optional<int> MediaKeyFromQt(int qtKey);

}  // namespace qel::desktop
