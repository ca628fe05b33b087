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
  std::optional<Picture> DecodeImageMemory(const std::vector<uint8_t>& bytes) override;
  // The same for an image file.
  std::optional<Picture> DecodeImageFile(const std::string& path);

  // Converts a decoded image; nothing for a null image.
  static std::optional<Picture> ToPicture(const QImage& image);
};

}  // namespace qel
