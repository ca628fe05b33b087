// The pane's pictures: decoding through the image seam, the size bound that
// every decoded picture must keep, and the fade under text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/state.h"

namespace qel {

// A decoded picture holds at most this many pixels (8192 x 8192, 256 MiB as
// BGRA); a larger one is no picture. Decoders check the size an image
// announces before they decode it.
inline constexpr long long kMaxPicturePixels = 8192LL * 8192LL;
// Image files larger than this are not read at all.
inline constexpr long long kMaxImageFileBytes = 256LL * 1024 * 1024;

bool PictureSizeAllowed(long long width, long long height);

// The picture when it is whole (both sides positive, every pixel present)
// and within the bound; nothing otherwise.
std::optional<Picture> AcceptPicture(std::optional<Picture> picture);

// An image file (a regular file only) decoded through the image seam; the
// first frame, 32-bit BGRA top-down. Nothing when it cannot be read or
// decoded, or is too large.
std::optional<Picture> DecodeImageFile(AppState& state, const std::string& path);
// Image bytes, for embedded covers, the same way.
std::optional<Picture> DecodeImageMemory(AppState& state, const std::vector<uint8_t>& bytes);

// Fades towards white so that black text stays readable over it: each of
// blue, green and red becomes c + trunc((255 - c) * 0.8); alpha is kept.
void FadeBitmap(Picture& picture);
// A faded copy, made in one pass.
Picture FadedCopy(const Picture& picture);
uint8_t FadedChannel(uint8_t c);

}  // namespace qel
