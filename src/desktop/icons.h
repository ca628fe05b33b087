// Our icon set, compiled in: one SVG per icon number.
#pragma once

#include <QIcon>

namespace qel::desktop {

QIcon IconByNumber(int number);
// The window's icon: 103 large, 105 small.
QIcon AppIcon();

}  // namespace qel::desktop
