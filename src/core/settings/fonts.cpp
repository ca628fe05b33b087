#include "core/settings/fonts.h"

#include <cmath>
#include <optional>

namespace qel {

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
