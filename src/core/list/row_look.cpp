#include "core/list/row_look.h"

namespace qel {

namespace {
constexpr uint32_t kSelected = 0x0080FF;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kDark = 0x404040;
}  // namespace

uint32_t ListBackground(bool dark) { return dark ? kDark : kWhite; }

RowLook LookOfRow(bool selected, bool dark, bool overPicture, bool current) {
  RowLook look;
  look.bold = current;
  if (selected) {
    look.fill = kSelected;
    look.text = kWhite;
  } else {
    if (!overPicture) look.fill = ListBackground(dark);
    look.text = dark ? kWhite : kBlack;
  }
  return look;
}

}  // namespace qel
