#include "core/playback/position.h"

#include <cctype>
#include <cmath>
#include <limits>

#include "core/metadata/metadata.h"
#include "core/playback/device.h"
#include "core/playback/order.h"

namespace qel {

namespace {

std::string Query(AppState& state, const std::string& what) {
  std::string answer;
  if (state.platform.device) state.platform.device->Send("status " + state.mciAlias + " " + what, &answer);
  return answer;
}

void Send(AppState& state, const std::string& command) {
  if (state.platform.device) state.platform.device->Send(command);
}

void Progress(AppState& state, long long done, long long total) {
  if (state.platform.desktop) state.platform.desktop->SetTaskbarProgress(done, total);
}

void SendSeek(AppState& state, long long ms) {
  ++state.seeks;
  Send(state, "seek " + state.mciAlias + " to " + std::to_string(ms));
}

// The end of the seeks by key: the slider, the device and the label follow s.
void SeekAndShow(AppState& state, long long s) {
  const std::string& alias = state.mciAlias;
  if (state.platform.window) state.platform.window->SetPosition(static_cast<int>(s * 10));
  SendSeek(state, s * 1000);
  Send(state, "play " + alias + " notify");
  if (state.platform.window) state.platform.window->SetTimeText(FormatTime(static_cast<int>(s), state.lengthSeconds));
}

// A seek as the release of the slider's thumb makes it: nothing moves
// while stopped, a paused file stays paused at the new place, and a place
// at or past the end ends the file as its end would.
void SeekWithin(AppState& state, const std::string& mode, long long ms) {
  const std::string& alias = state.mciAlias;
  if (mode == "stopped") {
    if (state.platform.window) state.platform.window->SetPosition(0);
    Progress(state, 0, 0);
  } else if (ms < state.lengthSeconds * 1000LL) {
    Send(state, "pause " + alias);
    SendSeek(state, ms);
    Send(state, "resume " + alias);
    Send(state, "play " + alias + " notify");
    if (mode == "paused") Send(state, "pause " + alias);
  } else {
    OnPlaybackNotify(state, kNotifySuccessful);
  }
}

}  // namespace

long long ReadDecimal(const std::string& answer) {
  size_t i = 0;
  while (i < answer.size() && std::isspace(static_cast<unsigned char>(answer[i]))) ++i;
  bool negative = false;
  if (i < answer.size() && (answer[i] == '-' || answer[i] == '+')) negative = answer[i++] == '-';
  long long value = 0;
  constexpr long long kCap = std::numeric_limits<int>::max();
  for (; i < answer.size() && std::isdigit(static_cast<unsigned char>(answer[i])); ++i) {
    value = value * 10 + (answer[i] - '0');
    if (value > kCap) value = kCap;  // a wild answer must not overflow what follows
  }
  return negative ? -value : value;
}

void OnPositionTimer(AppState& state) {
  if (state.lastIndex == -1 || state.entries.empty()) return;
  Window* window = state.platform.window;
  if (state.relayoutPending) {
    if (window) {
      window->SetAllRowsSelected(false);
      if (state.currentIndex >= 0) {
        window->SetRowSelected(state.currentIndex, true);
        window->SetTopRow(state.currentIndex);
      }
    }
    state.relayoutPending = false;
    if (window) {
      window->PostRelayout();
      window->RedrawList();
    }
  }
  if (DeviceMode(state) != "playing") return;

  long long ms = ReadDecimal(Query(state, "position"));
  long long s = ms / 1000;
  if (window) window->SetPosition(static_cast<int>(ms / 100));
  Progress(state, s, state.lengthSeconds);
  // Unsigned, as the device's numbers are: a negative length never holds
  // a file open for ever.
  if (static_cast<unsigned long long>(s) < static_cast<unsigned long long>(static_cast<unsigned>(state.lengthSeconds))) {
    if (window) window->SetTimeText(FormatTime(static_cast<int>(s), state.lengthSeconds));
  } else {
    OnPlaybackNotify(state, kNotifySuccessful);
  }
}

void OnPositionSlider(AppState& state, int code, int thumb, int mouseX, Rect sliderRect) {
  Window* window = state.platform.window;
  const std::string& alias = state.mciAlias;
  std::string mode = DeviceMode(state);
  if (mode.empty()) {
    if (window) window->SetPosition(0);
    return;
  }
  switch (code) {
    case kSliderThumbTrack:
      if (window) {
        window->SetTimeText(FormatTime(thumb / 10, state.lengthSeconds));
        window->StopTimer();
      }
      return;
    case kSliderEndTrack:
      if (window) window->StartTimer(100);
      return;
    case kSliderPageUp:
    case kSliderPageDown: {
      Send(state, "pause " + alias);
      int left = sliderRect.left + kSliderChannelMargin;
      int right = sliderRect.right - kSliderChannelMargin;
      long long p = 0;
      if (right > left)
        p = static_cast<long long>(std::trunc(static_cast<double>(mouseX - left) * (state.lengthSeconds * 10.0) /
                                              static_cast<double>(right - left)));
      if (window) window->SetPosition(static_cast<int>(p));
      SendSeek(state, p * 100);
      ResumeWithNotify(state);
      return;
    }
    default:
      break;
  }
  const long long s = window ? window->Position() / 10 : 0;
  SeekWithin(state, mode, s * 1000);
}

void SeekToMilliseconds(AppState& state, long long ms) {
  const std::string mode = DeviceMode(state);
  if (mode.empty()) return;
  if (ms < 0) ms = 0;
  if (mode != "stopped" && ms < state.lengthSeconds * 1000LL) {
    if (Window* window = state.platform.window) {
      window->SetPosition(static_cast<int>(ms / 100));
      window->SetTimeText(FormatTime(static_cast<int>(ms / 1000), state.lengthSeconds));
    }
  }
  SeekWithin(state, mode, ms);
}

void SeekBySeconds(AppState& state, int step) {
  if (DeviceMode(state) != "playing") return;
  int position = state.platform.window ? state.platform.window->Position() : 0;
  long long s = static_cast<long long>(std::ceil(position / 10.0));
  if (step > 0) {
    if (state.lengthSeconds - s < step + 1) return;
    s += step;
  } else {
    s += step;
    if (s < 0) s = 0;
  }
  SeekAndShow(state, s);
}

void SeekToTenth(AppState& state, int k) {
  if (DeviceMode(state) != "playing") return;
  SeekAndShow(state, static_cast<long long>(state.lengthSeconds / 10) * k);
}

void UpdateLengthSeconds(AppState& state) {
  if (state.currentIndex < 0 || state.currentIndex >= static_cast<int>(state.entries.size())) return;
  const std::string& path = state.entries[state.currentIndex].path;
  if (state.lengthPath == path && state.lengthStamp == StampOf(path)) return;
  state.lengthSeconds = ReadLength(state, path);
  state.lengthPath = path;
  state.lengthStamp = StampOf(path);
}

void RefreshPositionDisplay(AppState& state) {
  UpdateLengthSeconds(state);
  long long ms = ReadDecimal(Query(state, "position"));
  if (state.platform.window) {
    state.platform.window->SetPositionRange(0, state.lengthSeconds * 10);
    state.platform.window->SetPosition(static_cast<int>(ms / 100));
  }
  Progress(state, ms / 1000, state.lengthSeconds);
}

}  // namespace qel
