#include "core/app/hotkeys.h"

#include <algorithm>

#include "core/pane/text_pane.h"
#include "core/playback/device.h"
#include "core/playback/order.h"
#include "core/playback/position.h"
#include "core/playback/volume.h"

namespace qel {

namespace {

bool ValidIndex(const AppState& s, int i) { return i >= 0 && i < static_cast<int>(s.entries.size()); }

void ShowPaneForCurrent(AppState& s) {
  if (ValidIndex(s, s.currentIndex)) ShowPaneEntry(s, s.currentIndex);
}

}  // namespace

void OnHotKey(AppState& state, int virtualKey) {
  Window* window = state.platform.window;
  switch (virtualKey) {
    case kKeyPreviousTrack:
      AdvancePlayback(state, false, true, state.currentIndex);
      ShowPaneForCurrent(state);
      if (window) window->PostRelayout();
      break;
    case kKeyNextTrack:
      AdvancePlayback(state, true, true, state.currentIndex);
      ShowPaneForCurrent(state);
      break;
    case kKeyStop:
      StopPlayback(state, state.lengthSeconds);
      break;
    case kKeyPlayPause:
    case kKeyPlay:
    case kKeyPause: {
      if (!ValidIndex(state, state.currentIndex)) break;
      const bool playing = DeviceMode(state) == "playing";
      if (playing && virtualKey != kKeyPlay) {
        TogglePause(state);
      } else if (!playing && virtualKey != kKeyPause) {
        ListEntry entry = state.entries[state.currentIndex];
        if (PlayEntry(state, entry, state.currentIndex, state.lastIndex) == 1)
          AdvancePlayback(state, true, false, state.currentIndex);
      }
      break;
    }
    case kKeyVolumeDown:
      StepVolumeByMediaKey(state, false);
      break;
    case kKeyVolumeUp:
      StepVolumeByMediaKey(state, true);
      break;
    default:
      break;
  }

  // Without a current entry there is no length to show: the slider's range
  // stays as it was.
  if (ValidIndex(state, state.currentIndex)) {
    UpdateLengthSeconds(state);
    if (window) window->SetPositionRange(0, state.lengthSeconds * 10);
  }
  if (window) state.volume = std::clamp(window->VolumeBar(), 0, kVolumeBarMax) * 10;
  ApplyVolume(state);
}

}  // namespace qel
