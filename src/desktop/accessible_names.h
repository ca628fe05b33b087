// What a screen reader says of the main window's controls: a Japanese name
// for each (the buttons show only icons), and the values of the sliders and
// the list's rows as text.
#pragma once

#include <QString>

class QWidget;
class QSlider;

namespace qel::desktop {

// Names every control of the main window, found by its number.
void NameControls(QWidget* window);

// The play-order button names the order now in force (a menu item's text).
void NamePlayOrder(QWidget* window, const QString& order);

// A slider's value as the user reads it: the volume in percent; the
// position as the time read-out shows it.
void DescribeVolume(QSlider* volume);
void DescribePosition(QSlider* position, const QString& timeText);

// How the list's row of the entry being played is described.
QString CurrentRowDescription();

}  // namespace qel::desktop
