// What plays next: the four play orders, the step forward or back through
// the play sequence, the end of a file, and the skipping of files that
// cannot be played.
#pragma once

#include "core/state.h"

namespace qel {

// Menu items of the play-order menu and the icons of button 1011.
constexpr int kMenuOrder = 2500;
constexpr int kMenuRandom = 2600;
constexpr int kMenuSingle = 2700;
constexpr int kMenuOne = 3000;
constexpr int kButtonPlayOrder = 1011;
constexpr int kIconOrder = 114;
constexpr int kIconRandom = 115;
constexpr int kIconSingle = 116;
constexpr int kIconOne = 126;

// The message when no entry of the sequence could be played.
inline constexpr const char* kNoSupportedFile = "対応しているファイルがありません。";

// Sets playMode from a menu item (any other item leaves it), checks exactly
// that item of the four and shows its icon on button 1011. Callers renumber.
void SetPlayMode(AppState& state, int menuItem);

// Closes the playing file and plays the next (forward) or previous entry of
// the play sequence, skipping unplayable ones while IgnoreError is on.
// startIndex is currentIndex when the first step was asked for.
void AdvancePlayback(AppState& state, bool forward, bool byUser, int startIndex);

// The media device's notification (kNotifySuccessful, kNotifyAborted).
void OnPlaybackNotify(AppState& state, int code);

// Makes the entry's row visible and selects only it.
void FollowCurrentRow(AppState& state, int index, PlayMode mode, bool jump);

// Command 3700: a step from a pseudo-random place in the sequence.
void JumpToRandomEntry(AppState& state);

// The pseudo-random source of command 3700: 0 to 32767. Replaceable so that
// tests can fix the sequence.
int NextRandom(AppState& state);

}  // namespace qel
