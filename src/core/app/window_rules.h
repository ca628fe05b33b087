// The main window's own rules: its geometry at creation, the list/pane
// splitter, the width snap and size limits, the wheel, the context menus,
// the hand-off of a second start, the open sequence and the orderly close.
// The desktop layer forwards its events here and draws what comes back.
#pragma once

#include <string>

#include "core/list/list.h"
#include "core/state.h"

namespace qel {

// Icons of button 1013 for the list arrangement.
constexpr int kIconListHidden = 112;
constexpr int kIconListFull = 113;
constexpr int kIconListLeft = 127;
constexpr int kIconListRight = 128;
// Icons of button 1012 for the stay-on-top switch.
constexpr int kIconTopMostOn = 111;
constexpr int kIconTopMostOff = 117;

// Creation: the template's rectangles (window and list in screen
// coordinates, client from 0,0) and button 1011's window rectangle.
void TakeInitialGeometry(AppState& state, Rect window, Rect client, Rect list, Rect button1011);

// Icon of button 1013 for a list width within a client of the given width.
int ListButtonIcon(const AppState& state, int width, int clientWidth);

// Splitter drag: the pointer's x in client coordinates. Sets ListWidth,
// DefaultListWidth and listFull; returns the icon for button 1013.
int DragSplitter(AppState& state, int pointerX, int clientWidth);

// Double click on the splitter: list shown at its default width or hidden.
// Returns the icon for button 1013.
int ToggleSplitter(AppState& state, int clientWidth);

// Hover: whether a point (screen coordinates) lies on the splitter, given the
// splitter control's window rectangle. Sets splitterHot.
bool HoverSplitter(AppState& state, Point screenPoint, Rect splitterControl);

// The edge between list and pane.
Control SplitterControl(const AppState& state);

// Sizing: clamps ListWidth to the client and returns the right edge the
// proposed rectangle keeps (a width between compact and full snaps).
int SnapSizingRight(AppState& state, int left, int right, int clientWidth);

struct SizeLimits {
  int minWidth = 0, minHeight = 0;
  int maxWidth = 0, maxHeight = 0;
};
// workArea: the nearest monitor's work area; frame: the sizing-frame size;
// paneTop and windowTop in screen coordinates.
SizeLimits WindowSizeLimits(const AppState& state, Rect workArea, int frameWidth, int frameHeight, int paneTop,
                            int windowTop);

// The wheel, one rule per control under the pointer. A turn is counted
// once, by the control the pointer is over, however many widgets the event
// passes on its way up.
enum class WheelControl { Window, ListBox, PaneEdit, PositionBar, VolumeBar };
struct WheelRoute {
  bool volume = false;      // the main window's rule: 5 of 100 per notch
  int volumeBarLines = 0;   // the volume slider's own line steps per notch
  bool scrolls = false;     // the control scrolls its own content as well
  bool relayout = false;    // the layout follows that scrolling
  bool operator==(const WheelRoute&) const = default;
};
WheelRoute RouteWheel(WheelControl control, bool paneScrolls);
// Applies the route's volume part for a wheel delta (120 a notch) and
// answers the route; the caller lets the control scroll and lays out.
WheelRoute TurnWheel(AppState& state, WheelControl control, bool paneScrolls, int delta);
// The slider position after a wheel delta (5 of 100 per notch of 120).
int WheelVolumePosition(int position, int delta);

// Moving rows by dragging. A left press on a list row: a Shift-press on a
// selected row starts moving the selection and is kept from the list
// (answer true), so that the selection stays; any other press is the
// list's own.
bool PressOnListRow(AppState& state, int row, bool shift, bool rowSelected);
// The pointer moves over the list: the command that moves the selection one
// row toward the pointer's row (2000 down, 2100 up), or 0. A released
// button or a point beyond the rows ends the move.
int DragOverList(AppState& state, int row, bool leftButtonDown);

enum class ContextMenu { None, Master, Text, RandomJump, Title, Popup };
enum class ClickedControl { VolumeBar, PaneEdit, NextButton, ListBox, Other };
// Which menu a right click raises: aboveClient when the point lies above the
// client area's top (title bar or frame).
ContextMenu ChooseContextMenu(const AppState& state, ClickedControl clicked, bool aboveClient);

// Selection when the list's menu opens on a row: contextRow is set, the
// current row deselected, and the row under the point made the only
// selected one unless it already was selected.
void PrepareListContextMenu(AppState& state, int rowUnderPoint);

// A second start's line arrives (the bytes without the trailing zero).
void ReceiveHandOff(AppState& state, const std::string& bytes);
// What the running instance opens for the stored line: empty when the list
// is to be cleared, else the path without its first and last byte.
std::string HandOffTarget(const std::string& line);
// Runs the hand-off: clears the list or opens the line's path.
void HandleHandOff(AppState& state);

// The open sequence around OpenTarget.
void RunOpenSequence(AppState& state, const std::string& target, OpenKind kind);

// The open dialogs (commands 1700 and 1800): the dialog, then on a choice
// the open sequence. Returns whether something was opened.
bool RunOpenFileDialog(AppState& state);
bool RunOpenFolderDialog(AppState& state);
// The open-file dialog's filters, in order.
std::vector<FileFilter> OpenFileFilters();

// A drop on the window; onList when the point lies in the list's rectangle.
void HandleDrop(AppState& state, const std::vector<std::string>& paths, Point listClientPoint, bool onList,
                bool firstIsDirectory);

// Timer 1: the pending re-selection and relayout, then the position update.
void OnTimerTick(AppState& state);

// Orderly close (Escape): stops playback and the timer; the caller then
// restores a maximised window and destroys it.
void CloseMainWindow(AppState& state);
// Destruction: auto-saved playlist and settings written; a file that could
// not be written is named in a message box before the window goes.
void DestroyMainWindow(AppState& state);

}  // namespace qel
