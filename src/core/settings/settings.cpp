#include "core/settings/settings.h"

#include <cstdio>

#include "core/fs/file_names.h"
#include "core/settings/fonts.h"
#include "core/settings/ini.h"
#include "core/settings/paths.h"
#include "core/state.h"
#include "core/text/encoding.h"

namespace qel {
namespace {

constexpr const char* kSystem = "SystemSetting";
constexpr const char* kUser = "UserSetting";

// One reader over a document loaded once, so that a load sees one version
// of the file even when another instance writes it meanwhile.
struct Reader {
  IniDocument doc;
  std::string Text(const char* section, const char* key, const std::string& fallback) const {
    auto v = IniGet(doc, section, key);
    return v ? *v : fallback;
  }
  int Number(const char* key, int fallback) const {
    auto v = IniGet(doc, kSystem, key);
    return v ? ParseIniNumber(*v, fallback) : fallback;
  }
  bool Switch(const char* key, bool fallback) const {
    auto v = IniGet(doc, kSystem, key);
    return v ? ParseIniSwitch(*v) : fallback;
  }
};

std::string Number(int n) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, " %d", n);
  return buffer;
}

const char* OnOff(bool on) { return on ? "ON" : "OFF"; }

void Check(AppState& state, int command, bool on) {
  if (state.platform.window) state.platform.window->SetMenuCheck(command, on);
}

void Icon(AppState& state, int button, int icon) {
  if (state.platform.window) state.platform.window->SetButtonIcon(button, icon);
}

void EnsureIniPath(AppState& state) {
  if (state.iniPath.empty()) state.iniPath = IniPathFor(state.executablePath, state.instanceName);
}

}  // namespace

const char* PlayModeName(int mode) {
  switch (mode) {
    case 2: return "RANDOM";
    case 3: return "SINGLE";
    case 4: return "ONE";
    default: return "ORDER";
  }
}

int PlayModeFromName(const std::string& name) {
  if (files::EqualNoCase(name, "SINGLE")) return 3;
  if (files::EqualNoCase(name, "RANDOM")) return 2;
  if (files::EqualNoCase(name, "ORDER")) return 1;
  return 4;
}

const char* ViewSizeName(ViewSizeMode mode) {
  switch (mode) {
    case ViewSizeMode::Original: return "ORIGINAL";
    case ViewSizeMode::Multiple: return "MULTIPLE";
    default: return "ZOOM";
  }
}

ViewSizeMode ViewSizeFromName(const std::string& name) {
  if (files::EqualNoCase(name, "ORIGINAL")) return ViewSizeMode::Original;
  if (files::EqualNoCase(name, "MULTIPLE")) return ViewSizeMode::Multiple;
  return ViewSizeMode::Zoom;
}

ReplayGain ReplayGainFromName(const std::string& name) {
  if (files::EqualNoCase(name, "TRACK")) return ReplayGain::Track;
  if (files::EqualNoCase(name, "ALBUM")) return ReplayGain::Album;
  return ReplayGain::Off;
}

const char* ReplayGainName(ReplayGain mode) {
  return mode == ReplayGain::Track ? "TRACK" : mode == ReplayGain::Album ? "ALBUM" : "OFF";
}

void ChooseReplayGain(AppState& state, ReplayGain mode) {
  state.settings.ReplayGain = ReplayGainName(mode);
  for (int i = 0; i < 3; ++i) Check(state, kMenuReplayGain[i], static_cast<int>(mode) == i);
  if (state.platform.device) state.platform.device->SetReplayGain(mode);
}

void LoadSettings(AppState& state, bool readMasterVolume) {
  EnsureIniPath(state);
  Reader r{LoadIniFile(state.iniPath)};
  Settings& s = state.settings;
  Window* window = state.platform.window;

  // The legacy code page comes first: everything read after it may meet
  // old text.
  s.AnsiCodePage = r.Text(kUser, "AnsiCodePage", "");
  SetLegacyCodePage(s.AnsiCodePage);

  s.x = r.Number("x", 10);
  s.y = r.Number("y", 10);
  s.width = r.Number("width", state.fullWidth);
  s.height = r.Number("height", 380);
  if (window) window->MoveWindow(Rect{s.x, s.y, s.x + s.width, s.y + s.height});

  s.Mode = r.Text(kSystem, "Mode", "ORDER");
  int mode = PlayModeFromName(s.Mode);
  state.playMode = static_cast<PlayMode>(mode);
  s.Mode = PlayModeName(mode);
  static const int kModeIcons[] = {114, 115, 116, 126};
  static const int kModeItems[] = {2500, 2600, 2700, 3000};
  Icon(state, 1011, kModeIcons[mode - 1]);
  for (int i = 0; i < 4; ++i) Check(state, kModeItems[i], i == mode - 1);

  s.TopMost = r.Switch("TopMost", false);
  if (window) window->SetTopMost(s.TopMost);
  Icon(state, 1012, s.TopMost ? 111 : 117);

  s.ListWidth = r.Number("ListWidth", 120);
  s.DefaultListWidth = r.Number("DefaultListWidth", 120);
  s.LeftList = r.Switch("LeftList", true);
  Icon(state, 1013, s.LeftList ? 127 : 128);
  s.SearchSubFolder = r.Switch("SearchSubFolder", false);
  Check(state, 1900, s.SearchSubFolder);
  s.MasterVolume = r.Switch("MasterVolume", true);
  Check(state, 2400, s.MasterVolume);
  ChooseReplayGain(state, ReplayGainFromName(r.Text(kSystem, "ReplayGain", "OFF")));
  s.ShowBitmapList = r.Switch("ShowBitmapList", true);
  Check(state, 40007, s.ShowBitmapList);
  s.ShowBitmapText = r.Switch("ShowBitmapText", true);
  Check(state, 40008, s.ShowBitmapText);
  s.ShowText = r.Switch("ShowText", true);
  Check(state, 40026, s.ShowText);
  s.CenterText = r.Switch("CenterText", false);
  Check(state, 40010, s.CenterText);
  if (window) window->SetCenterText(s.CenterText);
  s.ViewSize = ViewSizeFromName(r.Text(kSystem, "ViewSize", "ZOOM"));
  s.IgnoreError = r.Switch("IgnoreError", false);
  Check(state, 3800, s.IgnoreError);
  s.NoStandby = r.Switch("NoStandby", false);
  Check(state, 40003, s.NoStandby);
  s.NoDisplayOff = r.Switch("NoDisplayOff", false);
  Check(state, 40005, s.NoDisplayOff);

  s.MCIExt = r.Text(kUser, "MCIExt", ".mp3.wave.mid");
  BuildMediaExtensions(state);

  // Linked to the master volume, the player starts at the system's level;
  // without a master volume to read, the stored level stands in.
  std::optional<double> master;
  if (readMasterVolume && s.MasterVolume && state.platform.desktop) master = state.platform.desktop->MasterVolume();
  if (master) {
    double v = *master < 0.0 ? 0.0 : (*master > 1.0 ? 1.0 : *master);
    state.volume = static_cast<int32_t>(v * 1000.0);
  } else {
    // A linked player whose master volume cannot be read (no sound server)
    // would otherwise start muted on a fresh ini; the system level governs.
    s.Volume = r.Number("Volume", s.MasterVolume ? 100 : 0);
    state.volume = s.Volume * 10;
  }
  if (window) window->SetVolumeBar(state.volume / 10);

  s.textFontSize = r.Number("textFontSize", 10);
  s.listFontSize = r.Number("listFontSize", 10);
  s.textFontName = r.Text(kSystem, "textFontName", "");
  s.listFontName = r.Text(kSystem, "listFontName", "");
  s.textFontStyle = r.Number("textFontStyle", 0);
  s.listFontStyle = r.Number("listFontStyle", 0);
  if (window) {
    MakeControlFont(state, Control::PaneEdit);
    MakeControlFont(state, Control::ListBox);
  }

  s.SingleClickMode = r.Switch("SingleClickMode", false);
  Check(state, 40012, s.SingleClickMode);
  s.NoExt = r.Switch("NoExt", false);
  Check(state, 40017, s.NoExt);
  s.DarkMode = r.Switch("DarkMode", false);
  Check(state, 40028, s.DarkMode);

  s.MidiDevice = r.Text(kUser, "MidiDevice", "");
  ResolveMidiDevice(state);
  s.CaptureDir = r.Text(kUser, "CaptureDir", "");
}

bool SaveSettings(AppState& state) {
  EnsureIniPath(state);
  IniDocument doc = LoadIniFile(state.iniPath);
  const Settings& s = state.settings;
  auto put = [&](const char* key, const std::string& value) { IniSet(doc, kSystem, key, value); };

  put("Volume", Number(state.volume / 10));
  put("Mode", PlayModeName(static_cast<int>(state.playMode)));
  put("TopMost", OnOff(s.TopMost));
  put("ListWidth", Number(s.ListWidth));
  put("DefaultListWidth", Number(s.DefaultListWidth));
  put("LeftList", OnOff(s.LeftList));
  put("SearchSubFolder", OnOff(s.SearchSubFolder));
  put("MasterVolume", OnOff(s.MasterVolume));
  put("ReplayGain", s.ReplayGain);
  put("ShowBitmapList", OnOff(s.ShowBitmapList));
  put("ShowBitmapText", OnOff(s.ShowBitmapText));
  put("ShowText", OnOff(s.ShowText));
  put("CenterText", OnOff(s.CenterText));
  put("IgnoreError", OnOff(s.IgnoreError));
  put("ViewSize", ViewSizeName(s.ViewSize));
  Rect rect = state.platform.window ? state.platform.window->WindowRect()
                                    : Rect{s.x, s.y, s.x + s.width, s.y + s.height};
  put("x", Number(rect.left));
  put("y", Number(rect.top));
  put("width", Number(rect.Width()));
  put("height", Number(rect.Height()));
  put("NoStandby", OnOff(s.NoStandby));
  put("NoDisplayOff", OnOff(s.NoDisplayOff));
  put("SingleClickMode", OnOff(s.SingleClickMode));
  put("NoExt", OnOff(s.NoExt));
  put("DarkMode", OnOff(s.DarkMode));
  put("listFontSize", Number(s.listFontSize));
  put("textFontSize", Number(s.textFontSize));
  put("listFontName", QuoteIniText(s.listFontName));
  put("textFontName", QuoteIniText(s.textFontName));
  put("listFontStyle", Number(s.listFontStyle));
  put("textFontStyle", Number(s.textFontStyle));
  bool hasCurrent = state.lastIndex >= 0 && state.currentIndex >= 0 &&
                    state.currentIndex < static_cast<int>(state.entries.size());
  // Paths come back exactly, blanks at their ends included.
  put("nowPlaying", QuoteIniText(hasCurrent ? state.entries[state.currentIndex].path : std::string()));
  put("nowDir", QuoteIniText(state.nowDir));
  IniSet(doc, kUser, "CaptureDir", QuoteIniText(s.CaptureDir));
  return SaveIniFile(state.iniPath, doc);
}

void BuildMediaExtensions(AppState& state) {
  std::string list = state.settings.MCIExt;
  if (list == "*") {
    state.mediaExtensions = list;
    return;
  }
  // The engine's list stands where the system's registry of media types
  // was; without an engine nothing is added and nothing lowered.
  if (MediaDevice* device = state.platform.device) {
    for (const std::string& name : device->PlayableExtensions()) {
      if (name.empty() || files::EqualNoCase(name, "m3u")) continue;
      list += ".";
      list += name;
    }
    for (char& c : list)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  list += ".m3u.m3u8.qel";
  state.mediaExtensions = list;
}

void ResolveMidiDevice(AppState& state) {
  state.midiDevice = -1;
  const std::string& wanted = state.settings.MidiDevice;
  if (wanted.empty() || !state.platform.device) return;
  std::vector<std::string> names = state.platform.device->MidiOutputDevices();
  for (size_t i = 0; i < names.size(); ++i) {
    if (files::EqualNoCase(names[i], wanted)) {
      state.midiDevice = static_cast<int32_t>(i);
      return;
    }
  }
}

void ReloadIgnoreDir(AppState& state) {
  EnsureIniPath(state);
  state.settings.IgnoreDir = ReadIniString(state.iniPath, kUser, "IgnoreDir", "");
}

void ReadResumePoint(AppState& state) {
  EnsureIniPath(state);
  IniDocument doc = LoadIniFile(state.iniPath);
  state.settings.nowDir = IniGet(doc, kSystem, "nowDir").value_or("");
  state.settings.nowPlaying = IniGet(doc, kSystem, "nowPlaying").value_or("");
}

}  // namespace qel
