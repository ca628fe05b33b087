#include "core/playback/video.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "core/playback/device.h"

namespace qel {

namespace {

std::string SourceAnswer(AppState& state) {
  std::string answer;
  if (state.platform.device) state.platform.device->Send("where " + state.mciAlias + " source", &answer);
  return answer;
}

int Round(double value) { return static_cast<int>(value + 0.5); }

}  // namespace

std::optional<PictureSize> ParseSourceSize(const std::string& answer) {
  std::istringstream in(answer);
  long long values[4];
  for (long long& v : values)
    if (!(in >> v)) return std::nullopt;
  // A picture without pixels would divide by zero below; the device has
  // nothing to show either.
  if (values[2] <= 0 || values[3] <= 0 || values[2] > 1 << 16 || values[3] > 1 << 16) return std::nullopt;
  return PictureSize{static_cast<int>(values[2]), static_cast<int>(values[3])};
}

Rect PictureDestination(PictureSize picture, int W, int H, int screenMode, ViewSizeMode viewSize) {
  const int w = picture.width, h = picture.height;
  int dw = W, dh = H;
  if (W < w || H < h || (w < W && h < H)) {
    const double sx = static_cast<double>(W) / w;
    const double sy = static_cast<double>(H) / h;
    // Filling, the larger factor wins and the picture overflows the pane in
    // one direction; fitting, the smaller one wins and bands remain.
    const bool byHeight = screenMode == 4 ? sx < sy : sy < sx;
    if (byHeight) {
      dw = Round(w * sy);
      dh = H;
    } else {
      dh = Round(h * sx);
      dw = W;
    }
  }
  int width = dw, height = dh;
  if (viewSize == ViewSizeMode::Original) {
    width = w;
    height = h;
  } else if (viewSize == ViewSizeMode::Multiple) {
    const int k = std::max(1, std::min(W / w, H / h));
    width = k * w;
    height = k * h;
  }
  const int left = (W - width) / 2;
  const int top = (H - height) / 2;
  return {left, top, left + width, top + height};
}

std::vector<Rect> BackgroundBands(const Rect& destination, int W, int H) {
  const int left = std::max(0, destination.left);
  const int top = std::max(0, destination.top);
  const int right = std::max(0, destination.right);
  const int bottom = std::max(0, destination.bottom);
  return {{0, 0, W, top}, {0, bottom, W, H}, {0, 0, left, H}, {right, 0, W, H}};
}

void PlacePicture(AppState& state) {
  if (DeviceMode(state).empty()) return;
  const std::optional<PictureSize> picture = ParseSourceSize(SourceAnswer(state));
  if (!picture) return;
  Window* window = state.platform.window;
  const Rect pane = window ? window->PaneClientRect() : Rect{};
  const int W = pane.Width(), H = pane.Height();
  const Rect d = PictureDestination(*picture, W, H, state.screenMode, state.settings.ViewSize);
  state.platform.device->Send("put " + state.mciAlias + " destination at " + std::to_string(d.left) + " " +
                              std::to_string(d.top) + " " + std::to_string(d.Width()) + " " +
                              std::to_string(d.Height()));
  if (window) window->PaintPaneBackground(BackgroundBands(d, W, H));
}

void WipePane(AppState& state) {
  if (Window* window = state.platform.window) window->PaintPaneBackground({window->PaneClientRect()});
}

void CycleScreenMode(AppState& state) {
  Window* window = state.platform.window;
  const Rect pane = window ? window->PaneClientRect() : Rect{};
  bool otherAspect = false;
  if (const std::optional<PictureSize> picture = ParseSourceSize(SourceAnswer(state))) {
    // A pane without area has no shape to compare with: the cycle stays
    // the short one.
    if (pane.Width() > 0 && pane.Height() > 0) {
      const double pictureAspect = static_cast<double>(picture->width) / picture->height;
      const double paneAspect = static_cast<double>(pane.Width()) / pane.Height();
      otherAspect = std::fabs(pictureAspect - paneAspect) >= std::numeric_limits<double>::epsilon();
    }
  }
  int next = state.screenMode + 1;
  if (next > (otherAspect ? 4 : 3)) next = 1;
  state.screenMode = next;
  if (window) {
    switch (next) {
      case 1:
        window->SetWindowMode(WindowMode::Normal);
        window->ShowControls(true);
        break;
      case 2:
        state.windowRect = window->WindowRect();
        window->SetWindowMode(WindowMode::Maximized);
        break;
      case 3:
        window->ShowControls(false);
        window->SetWindowMode(WindowMode::FullScreen);
        break;
      default:  // 4: only the picture's size rule changes
        break;
    }
    window->PostRelayout();
  }
  PlacePicture(state);
}

}  // namespace qel
