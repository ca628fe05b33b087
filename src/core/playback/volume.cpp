#include "core/playback/volume.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace qel {

namespace {

int ClampVolume(long long v) { return static_cast<int>(std::clamp<long long>(v, 0, kVolumeMax)); }
int ClampBar(long long v) { return static_cast<int>(std::clamp<long long>(v, 0, kVolumeBarMax)); }

int Bar(AppState& state) { return state.platform.window ? state.platform.window->VolumeBar() : state.volume / 10; }

void SetBar(AppState& state, int position) {
  if (state.platform.window) state.platform.window->SetVolumeBar(position);
}

}  // namespace

uint16_t OutputChannelValue(int volume) {
  return static_cast<uint16_t>((static_cast<long long>(ClampVolume(volume)) * 65535 / 1000) & 0xFFFF);
}

void ApplyVolume(AppState& state) {
  state.volume = ClampVolume(state.volume);
  if (MediaDevice* device = state.platform.device) {
    device->Send("setaudio " + state.mciAlias + " volume to " + std::to_string(state.volume));
    double channel = OutputChannelValue(state.volume) / 65535.0;
    device->SetMidiOutputVolume(state.midiDevice, channel);
    device->SetWaveOutputVolume(channel);
  }
  if (state.settings.MasterVolume && state.platform.desktop)
    state.platform.desktop->SetMasterVolume(static_cast<float>(state.volume) / 1000.0f);
}

void OnVolumeSlider(AppState& state, int code, int mouseX, Rect sliderRect) {
  if (code == 2 || code == 3) {
    int left = sliderRect.left + 9;
    int right = sliderRect.right - 9;
    if (right > left) {
      double p = (100.0 / (right - left)) * (mouseX - left);
      // The real slider clamps what it is given; the volume must stay in
      // range even where it does not.
      SetBar(state, ClampBar(static_cast<long long>(std::trunc(p))));
    }
  }
  state.volume = ClampVolume(static_cast<long long>(ClampBar(Bar(state))) * 10);
  ApplyVolume(state);
}

void StepVolumeBar(AppState& state, bool up) {
  int position = ClampBar(Bar(state) + (up ? 5 : -5));
  SetBar(state, position);
  state.volume = position * 10;
  ApplyVolume(state);
}

void ReadMasterVolume(AppState& state) {
  if (!state.platform.desktop) return;
  std::optional<double> master = state.platform.desktop->MasterVolume();
  if (!master) return;
  double fraction = std::isfinite(*master) ? *master : 0.0;
  state.volume = ClampVolume(static_cast<long long>(fraction * 1000));
  SetBar(state, state.volume / 10);
}

void StepVolumeByMediaKey(AppState& state, bool up) {
  state.volume = ClampVolume(static_cast<long long>(state.volume) + (up ? 50 : -50));
  SetBar(state, state.volume / 10);
  if (state.settings.MasterVolume && state.platform.desktop)
    state.platform.desktop->SetMasterVolume(static_cast<float>(state.volume) / 1000.0f);
}

void SetVolume(AppState& state, int volume) {
  state.volume = ClampVolume(volume);
  SetBar(state, state.volume / 10);
  ApplyVolume(state);
}

}  // namespace qel
