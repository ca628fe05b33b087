// How a row of the list looks: its background, its text colour and weight,
// by selection, dark mode, the picture behind the rows and the current
// entry. Colours are 0xRRGGBB.
#pragma once

#include <cstdint>
#include <optional>

namespace qel {

struct RowLook {
  std::optional<uint32_t> fill;  // nothing: the picture behind shows through
  uint32_t text = 0;
  bool bold = false;
};

// The list's background where no row and no picture is: white, or dark
// grey in dark mode down to the bottom of the list.
uint32_t ListBackground(bool dark);

RowLook LookOfRow(bool selected, bool dark, bool overPicture, bool current);

}  // namespace qel
