// Reading and writing the ini file's keys, and the rules that apply them to
// the running player.
#pragma once

#include <string>

#include "core/platform.h"
#include "core/settings_keys.h"

namespace qel {

struct AppState;

// Reads the keys in table order from state.iniPath (computed first when it
// is empty) and applies them: geometry, play order, switches with their
// menu check marks and button icons, fonts, the media extension list, the
// volume and its slider, the MIDI device, the capture folder. AnsiCodePage
// is read first and applied with SetLegacyCodePage.
// Without readMasterVolume the stored level stands in for the master
// volume, for a caller that reads it later with ReadMasterVolume.
void LoadSettings(AppState& state, bool readMasterVolume = true);
// Writes the player's keys into state.iniPath in one atomic replacement of
// the file; every other line of the file stays as it was. False when the
// file could not be written (it then keeps its old contents).
bool SaveSettings(AppState& state);
// state.mediaExtensions from MCIExt and the engine's playable extensions.
void BuildMediaExtensions(AppState& state);
// The loudness-tag levelling's three radio items, in ReplayGain's order.
constexpr int kMenuReplayGain[] = {2410, 2420, 2430};
// The ini's names of the levelling modes ("OFF", "TRACK", "ALBUM"); an
// unknown name is OFF, so a file of another version plays at its level.
ReplayGain ReplayGainFromName(const std::string& name);
const char* ReplayGainName(ReplayGain mode);
// Chooses how files are levelled by their loudness tags: the setting, the
// radio items and the device, the file playing included.
void ChooseReplayGain(AppState& state, ReplayGain mode);
// state.midiDevice: the index of the MIDI output named by MidiDevice, or -1.
void ResolveMidiDevice(AppState& state);

// Keys read at the moment they are needed. IgnoreDir is read afresh before
// every folder scan or drop; nowDir and nowPlaying at a resumed start.
void ReloadIgnoreDir(AppState& state);
void ReadResumePoint(AppState& state);

// Play order and picture scaling by their ini names.
const char* PlayModeName(int mode);  // 1 "ORDER", 2 "RANDOM", 3 "SINGLE", 4 "ONE"
int PlayModeFromName(const std::string& name);
const char* ViewSizeName(ViewSizeMode mode);
ViewSizeMode ViewSizeFromName(const std::string& name);

}  // namespace qel
