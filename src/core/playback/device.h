// The one media device and the operations every other part uses to start,
// pause, resume and stop playback. Every command string sent is listed here.
#pragma once

#include <string>

#include "core/state.h"

namespace qel {

// The alias of the playing file: the executable's name without extension,
// the instance name appended when it begins with "-", an extension removed
// again.
std::string MakeMciAlias(const std::string& executablePath, const std::string& instanceName);

// Sends "status %s mode" and answers it in lower case ("playing", "paused",
// "stopped", or empty when nothing is open).
std::string DeviceMode(AppState& state);

// Returns 1 when the file cannot be played and IgnoreError is on (the caller
// then advances), otherwise 0.
int PlayEntry(AppState& state, const ListEntry& entry, int index, int lastIndex);
void TogglePause(AppState& state);
void StopPlayback(AppState& state, int lengthSeconds);
void ResumeWithNotify(AppState& state);
void ShowNowPlaying(AppState& state, const std::string& path, const std::string& title, int index);

// Stops and closes whatever the device has open. Nothing is open then, so
// no power request stays either (a file that ends a single pass, fails to
// open or gives way to the next one holds nothing awake by itself), and no
// line of timed lyrics is marked as sung.
void CloseDevice(AppState& state);

// The continuous power requests of a file that plays: every request cleared,
// then the system (with the display when NoDisplayOff is on) for NoStandby,
// or the display alone for NoDisplayOff.
void MakePowerRequests(AppState& state);

// "%02d:%02d / %02d:%02d" below 6000 seconds of length, else
// "%03d:%02d/%03d:%02d".
std::string FormatTime(int elapsedSeconds, int lengthSeconds);

}  // namespace qel
