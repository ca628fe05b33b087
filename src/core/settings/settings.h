// The ini file's keys as the program holds them: one field per key, named
// exactly like the key, with the default a missing file gives.
#pragma once

#include <string>

#include "core/platform.h"

namespace qel {

struct AppState;

enum class ViewSizeMode { Zoom = 0, Original = 1, Multiple = 2 };

struct Settings {
  // SystemSetting
  int x = 10;
  int y = 10;
  int width = 0;  // 0 until the window's template width is known (fullWidth)
  int height = 380;
  std::string Mode = "ORDER";
  bool TopMost = false;
  int ListWidth = 120;
  int DefaultListWidth = 120;
  bool LeftList = true;
  bool SearchSubFolder = false;
  bool MasterVolume = true;
  std::string ReplayGain = "OFF";  // levelling by loudness tags: OFF, TRACK or ALBUM
  bool ShowBitmapList = true;
  bool ShowBitmapText = true;
  bool ShowText = true;
  bool CenterText = false;
  ViewSizeMode ViewSize = ViewSizeMode::Zoom;
  bool IgnoreError = false;
  bool NoStandby = false;
  bool NoDisplayOff = false;
  int Volume = 0;
  int textFontSize = 10;
  int listFontSize = 10;
  std::string textFontName;
  std::string listFontName;
  int textFontStyle = 0;
  int listFontStyle = 0;
  bool SingleClickMode = false;
  bool NoExt = false;
  bool DarkMode = false;
  std::string nowDir;
  std::string nowPlaying;
  // UserSetting
  std::string MCIExt = ".mp3.wave.mid";
  std::string MidiDevice;
  std::string CaptureDir;
  std::string IgnoreDir;
  std::string AnsiCodePage;  // legacy code page of old tags and .m3u files; empty: CP932
};

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
