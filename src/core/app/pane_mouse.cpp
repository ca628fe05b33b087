#include "core/app/pane_mouse.h"

#include "core/app/window_rules.h"
#include "core/playback/device.h"
#include "core/playback/video.h"

namespace qel {

void PaneMouseMove(AppState& state, Point screenPoint) {
  if (screenPoint == state.paneLastCursor) return;
  state.paneLastCursor = screenPoint;
  state.paneClickArmed = false;
}

void PaneLeftPress(AppState& state) { state.paneClickArmed = true; }

void PaneLeftRelease(AppState& state) {
  if (!state.paneClickArmed) return;
  state.paneClickArmed = false;
  const std::string mode = DeviceMode(state);
  state.pausedByClick = mode == "playing";
  if (!state.platform.device) return;
  if (mode == "playing")
    state.platform.device->Send("pause " + state.mciAlias);
  else if (mode == "paused")
    state.platform.device->Send("resume " + state.mciAlias);
}

void PaneDoubleClick(AppState& state, int clientWidth) {
  // The press that brought the double click is no click of its own.
  state.paneClickArmed = false;
  if (state.pausedByClick) {
    state.pausedByClick = false;
    if (state.platform.device) state.platform.device->Send("resume " + state.mciAlias);
  }
  MainWindowDoubleClick(state, clientWidth);
}

void MainWindowDoubleClick(AppState& state, int clientWidth) {
  if (!state.splitterHot) {
    CycleScreenMode(state);
    return;
  }
  const int icon = ToggleSplitter(state, clientWidth);
  if (Window* window = state.platform.window) {
    window->SetButtonIcon(1013, icon);
    window->PostRelayout();
  }
}

}  // namespace qel
