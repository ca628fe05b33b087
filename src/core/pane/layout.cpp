#include "core/pane/layout.h"

#include <cmath>
#include <optional>

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

int FontPixelHeight(int points, int pixelsPerInch) {
  // Rounded half away from zero, as a multiply-divide does.
  const long long num = static_cast<long long>(points) * pixelsPerInch;
  const long long rounded = (num >= 0 ? num + 36 : num - 36) / 72;
  return -static_cast<int>(rounded);
}

int FontPointsFromHeight(int height, int pixelsPerInch) {
  if (pixelsPerInch <= 0) return 0;
  return static_cast<int>(std::trunc(0.5 - static_cast<double>(height) * 72.0 / pixelsPerInch));
}

int ListRowHeight(int fontHeight, int tmHeight, int tmExternalLeading) {
  if (tmHeight <= 0) return -fontHeight;
  return static_cast<int>(std::trunc(-static_cast<double>(fontHeight) / tmHeight *
                                     (tmHeight + 2 * tmExternalLeading)));
}

namespace {

struct FontFields {
  std::string* face;
  int* size;
  int* style;
};

std::optional<FontFields> FieldsOf(Settings& s, Control control) {
  if (control == Control::PaneEdit) return FontFields{&s.textFontName, &s.textFontSize, &s.textFontStyle};
  if (control == Control::ListBox) return FontFields{&s.listFontName, &s.listFontSize, &s.listFontStyle};
  return std::nullopt;
}

}  // namespace

void MakeControlFont(AppState& state, Control control) {
  Window* window = state.platform.window;
  const auto fields = FieldsOf(state.settings, control);
  if (window && fields) window->SetControlFont(control, *fields->face, *fields->size, *fields->style);
}

bool ChooseControlFont(AppState& state, Control control) {
  Window* window = state.platform.window;
  const auto fields = FieldsOf(state.settings, control);
  if (!window || !fields) return false;
  const int ppi = window->PixelsPerInch();
  // The style goes into the preset too: a dialog confirmed untouched must not
  // turn a bold font regular.
  const std::optional<FontPick> pick = window->FontDialog({*fields->face, FontPixelHeight(*fields->size, ppi),
                                                           *fields->style});
  if (!pick) return false;
  // A size the dialog cannot express in points keeps the old one.
  if (const int points = FontPointsFromHeight(pick->height, ppi); points > 0) *fields->size = points;
  *fields->face = pick->face;
  *fields->style = pick->style;
  return true;
}

int AdjustFontSize(int command, int size) {
  switch (command) {
    case 106:
      return 9;
    case 107:
      return size + 1;
    case 109:
      return size >= 7 ? size - 1 : size;
    default:
      return size;
  }
}

}  // namespace qel
