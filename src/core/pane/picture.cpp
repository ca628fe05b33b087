#include "core/pane/picture.h"

#include <array>
#include <cmath>

#include "core/fs/atomic_file.h"

namespace qel {

bool PictureSizeAllowed(long long width, long long height) {
  return width > 0 && height > 0 && width <= kMaxPicturePixels / height;
}

std::optional<Picture> AcceptPicture(std::optional<Picture> picture) {
  if (!picture || !PictureSizeAllowed(picture->width, picture->height)) return std::nullopt;
  if (picture->pixels.size() != size_t(picture->width) * size_t(picture->height) * 4) return std::nullopt;
  return picture;
}

std::optional<Picture> DecodeImageMemory(AppState& state, const std::vector<uint8_t>& bytes) {
  if (!state.platform.images || bytes.empty()) return std::nullopt;
  return AcceptPicture(state.platform.images->DecodeImageMemory(bytes));
}

std::optional<Picture> DecodeImageFile(AppState& state, const std::string& path) {
  if (!state.platform.images) return std::nullopt;
  std::string bytes;
  bool cut = false;
  if (ReadRegularFile(path, kMaxImageFileBytes, &bytes, &cut) != ReadResult::Read || cut) return std::nullopt;
  return DecodeImageMemory(state, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

uint8_t FadedChannel(uint8_t c) {
  return static_cast<uint8_t>(c + static_cast<int>(std::trunc((255 - c) * 0.8)));
}

namespace {

// 256 possible values: the table gives every pixel the exact double
// precision result at the cost of a lookup.
const std::array<uint8_t, 256>& FadeTable() {
  static const std::array<uint8_t, 256> table = [] {
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) t[c] = FadedChannel(static_cast<uint8_t>(c));
    return t;
  }();
  return table;
}

void Fade(const uint8_t* from, uint8_t* to, size_t pixels) {
  const std::array<uint8_t, 256>& table = FadeTable();
  for (size_t i = 0; i < pixels; ++i, from += 4, to += 4) {
    to[0] = table[from[0]];
    to[1] = table[from[1]];
    to[2] = table[from[2]];
    to[3] = from[3];
  }
}

}  // namespace

void FadeBitmap(Picture& picture) { Fade(picture.pixels.data(), picture.pixels.data(), picture.pixels.size() / 4); }

Picture FadedCopy(const Picture& picture) {
  Picture out;
  out.width = picture.width;
  out.height = picture.height;
  out.pixels.resize(picture.pixels.size());
  Fade(picture.pixels.data(), out.pixels.data(), picture.pixels.size() / 4);
  return out;
}

}  // namespace qel
