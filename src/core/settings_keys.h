// The ini file's keys as the program holds them: one field per key, named
// exactly like the key, with the default a missing file gives.
#pragma once

#include <string>

namespace qel {

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

}  // namespace qel
