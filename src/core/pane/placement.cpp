#include "core/pane/placement.h"

#include <algorithm>
#include <cmath>

namespace qel {
namespace {

// int(x) as the drawing rules mean it: towards zero, after the halving.
int Trunc(double x) { return static_cast<int>(std::trunc(x)); }

Rect Sized(int left, int top, int width, int height) { return {left, top, left + width, top + height}; }

// ORIGINAL's placement along one axis: destination start and the cut.
struct Axis {
  int start = 0;  // destination
  int cut = 0;    // source pixels dropped on each side
};
Axis Centre(int areaStart, int areaSize, int drawnSize, int pictureSize) {
  Axis a;
  a.start = std::max(areaStart, areaStart + Trunc((areaSize - drawnSize) / 2.0));
  a.cut = std::max(0, Trunc((pictureSize - areaSize) / 2.0));
  return a;
}

}  // namespace

Rect PanePictureArea(Rect pane, int scrollBarWidth, int edgeWidth, int edgeHeight, int screenMode) {
  Rect r = pane;
  r.right -= scrollBarWidth;
  if (screenMode != 3 && screenMode != 4) {
    r.left += edgeWidth;
    r.right -= edgeWidth;
    r.top += edgeHeight;
    r.bottom -= edgeHeight;
  }
  return r;
}

bool PaintsPanePicture(const AppState& state, bool paneVisible) {
  return paneVisible && state.settings.ShowBitmapText && state.panePicture && !state.panePicture->Empty() &&
         state.paneBackdrop && !state.paneBackdrop->Empty();
}

PictureDraw PlacePanePicture(ViewSizeMode mode, Rect area, int w, int h) {
  PictureDraw d;
  const int W = area.Width(), H = area.Height();
  if (w <= 0 || h <= 0 || W <= 0 || H <= 0) {
    d.destination = {area.left, area.top, area.left, area.top};
    return d;
  }
  switch (mode) {
    case ViewSizeMode::Zoom: {
      d.smooth = true;
      d.source = Sized(0, 0, w, h);
      const double u = static_cast<double>(W) / w, v = static_cast<double>(H) / h;
      if (u < v) {
        const int drawn = Trunc(h * u);
        d.destination = Sized(area.left, area.top + (H - drawn) / 2, W, drawn);
      } else {
        const int drawn = Trunc(w * v);
        d.destination = Sized(area.left + (W - drawn) / 2, area.top, drawn, H);
      }
      break;
    }
    case ViewSizeMode::Original:
    case ViewSizeMode::Multiple: {
      const int k = mode == ViewSizeMode::Original ? 1 : std::max(1, std::min(W / w, H / h));
      const Axis x = Centre(area.left, W, k * w, w);
      const Axis y = Centre(area.top, H, k * h, h);
      // A cut happens only when the picture is larger than the area, and
      // then k is 1: the part shown is drawn at its own size.
      const int sw = w - 2 * x.cut, sh = h - 2 * y.cut;
      d.source = Sized(x.cut, y.cut, sw, sh);
      d.destination = Sized(x.start, y.start, k * sw, k * sh);
      break;
    }
  }
  return d;
}

Rect FitListPicture(int W, int H, int w, int h) {
  if (W <= 0 || H <= 0 || w <= 0 || h <= 0) return {};
  const double widthRatio = static_cast<double>(W) / w;
  const double heightRatio = static_cast<double>(H) / h;
  if (heightRatio > widthRatio) return Sized(0, 0, W, Trunc(h * widthRatio));
  const int drawn = Trunc(w * heightRatio);
  return Sized((W - drawn) / 2, 0, drawn, H);
}

}  // namespace qel
