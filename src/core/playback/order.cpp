#include "core/playback/order.h"

#include <ctime>

#include "core/pane/text_pane.h"
#include "core/playback/device.h"
#include "core/playback/position.h"

namespace qel {

namespace {

struct ModeRow {
  PlayMode mode;
  int menuItem;
  int icon;
};
constexpr ModeRow kModes[] = {
    {PlayMode::Order, kMenuOrder, kIconOrder},
    {PlayMode::Random, kMenuRandom, kIconRandom},
    {PlayMode::Single, kMenuSingle, kIconSingle},
    {PlayMode::One, kMenuOne, kIconOne},
};

bool ValidIndex(const AppState& state, int index) {
  return index >= 0 && index < static_cast<int>(state.entries.size());
}

void ShowNoSupportedFile(AppState& state) {
  if (state.platform.window)
    state.platform.window->ShowMessage(kNoSupportedFile, "Qel", MessageIcon::None, MessageButtons::Ok, true);
}

// Moves currentIndex one step through the sequence; false when a ONE pass
// has just ended (currentIndex then names its last entry).
bool StepCurrentIndex(AppState& state, bool forward, bool byUser) {
  if (state.playMode == PlayMode::Single && !byUser) return true;
  // Without a current entry the step starts just outside the sequence, so
  // forward finds its first number and backward its last.
  int order = ValidIndex(state, state.currentIndex) ? state.entries[state.currentIndex].order : (forward ? -1 : 0);
  int next;
  bool passOver = false;
  if (forward) {
    next = order + 1;
    if (next >= state.lastIndex + 1) {
      if (state.playMode == PlayMode::One && !byUser) {
        next = state.lastIndex;
        passOver = true;
      } else {
        next = 0;
      }
    }
  } else {
    next = order - 1;
    if (next <= -1) next = state.lastIndex;
  }
  for (int i = 0; i < static_cast<int>(state.entries.size()); ++i) {
    if (state.entries[i].order == next) {
      state.currentIndex = i;
      break;
    }
  }
  return !passOver;
}

}  // namespace

void SetPlayMode(AppState& state, int menuItem) {
  for (const auto& row : kModes)
    if (row.menuItem == menuItem) state.playMode = row.mode;
  Window* window = state.platform.window;
  if (!window) return;
  for (const auto& row : kModes) {
    window->SetMenuCheck(row.menuItem, row.mode == state.playMode);
    if (row.mode == state.playMode) window->SetButtonIcon(kButtonPlayOrder, row.icon);
  }
}

void AdvancePlayback(AppState& state, bool forward, bool byUser, int startIndex) {
  // Every attempt either plays, stops with the one message, or moves on to
  // an entry not tried yet; the bound only matters when the order numbers
  // are not a permutation, which would otherwise cycle for ever.
  const int maxAttempts = static_cast<int>(state.entries.size()) + 1;
  for (int attempt = 0;; ++attempt) {
    if (state.lastIndex == -1 || state.entries.empty()) return;
    CloseDevice(state);
    if (!StepCurrentIndex(state, forward, byUser)) return;
    if (!ValidIndex(state, state.currentIndex)) return;

    ListEntry entry = state.entries[state.currentIndex];
    int result = PlayEntry(state, entry, state.currentIndex, state.lastIndex);
    FollowCurrentRow(state, state.currentIndex, state.playMode, false);
    if (state.platform.window) state.platform.window->PostRelayout();
    if (result != 1) return;

    if ((state.playMode == PlayMode::One && state.currentIndex == state.lastIndex) ||
        state.currentIndex == startIndex || attempt + 1 >= maxAttempts) {
      ShowNoSupportedFile(state);
      return;
    }
    forward = true;
  }
}

void OnPlaybackNotify(AppState& state, int code) {
  Window* window = state.platform.window;
  if (code == kNotifyAborted) {
    if (DeviceMode(state) != "stopped") return;
    if (window) window->SetPosition(0);
    if (state.platform.desktop) state.platform.desktop->SetTaskbarProgress(0, 100);
    CloseDevice(state);
    return;
  }
  // A file that became unreadable while it played (cut short, its drive
  // gone) has ended as far as the list is concerned: the next one plays.
  if (code != kNotifySuccessful && code != kNotifyFailure) return;
  if (DeviceMode(state).empty()) return;

  AdvancePlayback(state, true, false, state.currentIndex);
  if (ValidIndex(state, state.currentIndex)) ShowPaneEntry(state, state.currentIndex);
  if (window) window->SetPosition(0);
  UpdateLengthSeconds(state);
  if (window) window->SetPositionRange(0, state.lengthSeconds * 10);
  if (state.platform.desktop) state.platform.desktop->SetTaskbarProgress(0, state.lengthSeconds);
}

void FollowCurrentRow(AppState& state, int index, PlayMode mode, bool jump) {
  Window* window = state.platform.window;
  if (!window) return;
  if (mode == PlayMode::Random && !jump) {
    window->SetTopRow(index);
  } else {
    int top = window->TopRow();
    if (top - 1 + window->VisibleRowCount() < index) window->SetTopRow(top + 1);
  }
  window->SetAllRowsSelected(false);
  window->SetRowSelected(index, true);
}

void JumpToRandomEntry(AppState& state) {
  if (state.entries.empty()) return;
  state.currentIndex = NextRandom(state) % static_cast<int>(state.entries.size());
  AdvancePlayback(state, true, true, state.currentIndex);
}

}  // namespace qel

namespace qel {

int NextRandom(AppState& state) {
  // The classic 15-bit linear congruential generator: small, and a test can
  // fix its sequence through the state.
  if (state.randomJumpState == 0) state.randomJumpState = static_cast<uint32_t>(std::time(nullptr)) | 1u;
  state.randomJumpState = state.randomJumpState * 1103515245u + 12345u;
  return static_cast<int>((state.randomJumpState >> 16) & 0x7FFF);
}

}  // namespace qel
