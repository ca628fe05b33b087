// The picture decoder over Qt's image readers: the first frame of any format
// Qt has a plugin for, converted to 32-bit BGRA with rows top-down.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/platform.h"

class QImage;

namespace qel {

class QtImageDecoder : public ImageDecoder {
 public:
  // Image files reach it as bytes too: the core reads them, so that a pipe
  // or a huge file of a picture's name is never handed to a codec.
  std::optional<Picture> DecodeImageMemory(const std::vector<uint8_t>& bytes) override;

  // Converts a decoded image; nothing for a null image or one beyond the
  // picture bound.
  static std::optional<Picture> ToPicture(const QImage& image);
};

}  // namespace qel
