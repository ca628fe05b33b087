#include "core/playback/device.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/playback/position.h"
#include "core/playback/video.h"
#include "core/playback/volume.h"

namespace qel {

namespace {

constexpr const char* kCaption = "Qel";
constexpr const char* kFileNotFound = "ファイルが見つかりません。";
constexpr const char* kUnsupportedFile = "対応していないファイルです。";

std::string StripExtension(const std::string& name) {
  auto dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string PathFileName(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsMidiPath(const std::string& path) {
  std::string name = PathFileName(path);
  auto dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot);
  if (ext.size() != 4) return false;
  for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".mid";
}

int Send(AppState& state, const std::string& command, std::string* answer = nullptr) {
  if (answer) answer->clear();
  if (!state.platform.device) return -1;
  return state.platform.device->Send(command, answer);
}

int Fail(AppState& state) {
  if (state.settings.IgnoreError) return 1;
  if (state.platform.window)
    state.platform.window->ShowMessage(kUnsupportedFile, kCaption, MessageIcon::Warning, MessageButtons::Ok, false);
  return 0;
}

}  // namespace

std::string MakeMciAlias(const std::string& executablePath, const std::string& instanceName) {
  std::string alias = StripExtension(PathFileName(executablePath));
  if (!instanceName.empty() && instanceName[0] == '-') alias += instanceName;
  alias = StripExtension(alias);
  // The alias is one word of every command string: a blank inside it would
  // split the command, and an empty one would name no device at all.
  for (auto& c : alias)
    if (std::isspace(static_cast<unsigned char>(c)) || c == '"') c = '_';
  if (alias.empty()) alias = "qel";
  return alias;
}

std::string DeviceMode(AppState& state) {
  std::string answer;
  Send(state, "status " + state.mciAlias + " mode", &answer);
  for (auto& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return answer;
}

void ShowNowPlaying(AppState& state, const std::string& path, const std::string& title, int) {
  std::string text = title.empty() ? PathFileName(path) : title;
  if (state.platform.window) state.platform.window->SetTitle(text);
  state.savedTitle = text;
}

int PlayEntry(AppState& state, const ListEntry& entry, int index, int lastIndex) {
  if (lastIndex == -1) return 0;
  Window* window = state.platform.window;

  std::string mode = DeviceMode(state);
  if (mode == "playing") {
    TogglePause(state);
    return 0;
  }
  if (mode == "paused") {
    Send(state, "resume " + state.mciAlias);
    return 0;
  }

  std::error_code ec;
  if (!std::filesystem::exists(entry.path, ec)) {
    if (state.settings.IgnoreError) return 1;
    if (window) window->ShowMessage(kFileNotFound, kCaption, MessageIcon::None, MessageButtons::Ok, true);
    return 0;
  }

  const std::string& alias = state.mciAlias;
  ShowNowPlaying(state, entry.path, entry.title, index);
  CloseDevice(state);
  if (window) window->StopTimer();

  int error;
  if (IsMidiPath(entry.path)) {
    error = Send(state, "open " + QuotedPath(entry.path) + " alias " + alias + " type sequencer");
    if (error == 0 && state.midiDevice != -1) Send(state, "set " + alias + " port " + std::to_string(state.midiDevice));
  } else {
    unsigned parent = window ? window->NativeHandle(Control::MainWindow) : 0u;
    error = Send(state, "open " + QuotedPath(entry.path) + " alias " + alias + " type mpegvideo shareable parent " +
                            std::to_string(parent) + " style child");
  }
  if (error != 0) return Fail(state);

  std::string source;
  Send(state, "where " + alias + " source", &source);
  if (!source.empty()) {
    unsigned pane = window ? window->NativeHandle(Control::PaneEdit) : 0u;
    Send(state, "window " + alias + " handle " + std::to_string(pane));
    if (window) window->ShowPaneScrollBar(false);
    PlacePicture(state);
  } else if (window) {
    window->ShowPaneScrollBar(true);
  }

  Send(state, "set " + alias + " seek exactly on");
  Send(state, "set " + alias + " time format milliseconds");
  std::string length;
  Send(state, "status " + alias + " length", &length);
  if (ReadDecimal(length) == 0) {
    CloseDevice(state);
    return Fail(state);
  }

  ApplyVolume(state);
  if (state.autoPlay) {
    Send(state, "play " + alias + "  notify");
    if (window) window->StartTimer(100);
  }
  MakePowerRequests(state);
  return 0;
}

namespace {

// No line is being sung once nothing plays.
void ClearSungLine(AppState& state) {
  if (state.sungLine == -1) return;
  state.sungLine = -1;
  if (state.platform.window) state.platform.window->HighlightPaneLine(-1);
}

}  // namespace

void CloseDevice(AppState& state) {
  Send(state, "stop " + state.mciAlias);
  Send(state, "close " + state.mciAlias);
  if (state.platform.desktop) state.platform.desktop->SetPowerRequests(false, false);
  ClearSungLine(state);
}

void MakePowerRequests(AppState& state) {
  Desktop* desktop = state.platform.desktop;
  if (!desktop) return;
  desktop->SetPowerRequests(false, false);
  if (state.settings.NoStandby)
    desktop->SetPowerRequests(true, state.settings.NoDisplayOff);
  else if (state.settings.NoDisplayOff)
    desktop->SetPowerRequests(false, true);
}

void TogglePause(AppState& state) {
  std::string mode = DeviceMode(state);
  if (mode == "playing")
    Send(state, "pause " + state.mciAlias);
  else if (mode == "paused")
    Send(state, "resume " + state.mciAlias);
}

void StopPlayback(AppState& state, int lengthSeconds) {
  Window* window = state.platform.window;
  std::string mode = DeviceMode(state);
  if (mode == "playing" || mode == "paused") {
    CloseDevice(state);
    if (window) window->SetPosition(0);
    if (state.platform.desktop) state.platform.desktop->SetTaskbarProgress(0, 100);
    WipePane(state);
  }
  if (window) {
    window->StopTimer();
    window->SetTimeText(FormatTime(0, lengthSeconds));
  }
  if (state.platform.desktop) state.platform.desktop->SetPowerRequests(false, false);
  ClearSungLine(state);
  if (window) window->PostRelayout();
}

void ResumeWithNotify(AppState& state) { Send(state, "play " + state.mciAlias + " notify"); }

std::string FormatTime(int elapsedSeconds, int lengthSeconds) {
  char buffer[64];
  const char* format = lengthSeconds < 6000 ? "%02d:%02d / %02d:%02d" : "%03d:%02d/%03d:%02d";
  std::snprintf(buffer, sizeof buffer, format, elapsedSeconds / 60, elapsedSeconds % 60, lengthSeconds / 60,
                lengthSeconds % 60);
  return buffer;
}

}  // namespace qel
