#include "core/app/layout.h"

#include <cmath>

#include "core/app/window_rules.h"

namespace qel {

WindowLayout LayOutWindow(AppState& state, int W, int H, int sizeType, bool showTopRight,
                          const ControlSizes& sizes) {
  WindowLayout out;
  const int m = state.listMargin;
  const int t = state.bottomSpace;
  const int F = W - 2 * m;
  int& listWidth = state.settings.ListWidth;
  if (sizeType != 1) {
    if (state.listFull) listWidth = F;
    if (listWidth < 0) listWidth = 0;
    if (listWidth >= F) {
      listWidth = F;
      if (Window* window = state.platform.window) window->SetButtonIcon(1013, kIconListFull);
    }
  }
  out.gap = (listWidth != 0 && listWidth != F) ? 4 : 0;
  const bool fullScreen = state.screenMode == 3 || state.screenMode == 4;
  if (fullScreen) {
    out.paneCoversWindow = true;
    out.pane = {0, 0, W, H};
  } else {
    const int h = H - t - m;
    out.placeListAndPane = true;
    const int paneWidth = F - out.gap - listWidth;
    if (state.settings.LeftList) {
      out.list = {m, t, m + listWidth, t + h};
      out.pane = {m + out.gap + listWidth, t, m + out.gap + listWidth + paneWidth, t + h};
    } else {
      out.pane = {m, t, m + paneWidth, t + h};
      out.list = {W - m - listWidth, t, W - m, t + h};
    }
    if (state.compactWidth < W + 2 * m && W + 2 * m < state.fullWidth && !state.relayoutPending) {
      out.hideTopRight = true;
    } else if (showTopRight) {
      out.showTopRight = true;
      const int x12 = W - sizes.button1012Width - m;
      out.button1012 = {x12, m, x12 + sizes.button1012Width, m + sizes.button1012Height};
      const int x13 = W - sizes.button1013Width - m;
      const int y13 = m + sizes.button1012Height;
      out.button1013 = {x13, y13, x13 + sizes.button1013Width, y13 + sizes.button1013Height};
      const int labelLeft = W - sizes.labelWidth - sizes.button1013Width - m;
      const int labelTop = (t - sizes.labelHeight - sizes.button1013Height - m) / 2 + sizes.button1013Height + m;
      out.timeLabel = {labelLeft, labelTop, labelLeft + sizes.labelWidth, labelTop + sizes.labelHeight};
      out.positionBar = sizes.positionBar;
      out.positionBar.right = labelLeft;
    }
  }
  out.paintPicture = listWidth != F && !(sizeType == 1 && state.listFull);
  return out;
}

int ListRowHeight(int fontHeight, int tmHeight, int tmExternalLeading) {
  if (tmHeight <= 0) return -fontHeight;
  return static_cast<int>(std::trunc(-static_cast<double>(fontHeight) / tmHeight *
                                     (tmHeight + 2 * tmExternalLeading)));
}

}  // namespace qel
