// Frame capture: what the pane shows of a video, or else the current file's
// picture, written as an uncompressed BMP file into the capture folder or
// put on the clipboard.
#pragma once

#include <optional>
#include <string>

#include "core/state.h"

namespace qel {

// "<base>_MM_SS_mmm.bmp" from a position in milliseconds; the minutes take
// three digits when the file is 100 minutes long or longer.
std::string CaptureFileName(const std::string& base, long long positionMs, int lengthSeconds);

// The bytes of a BMP file of the picture: the 14-byte file header, the
// 40-byte information header, then 32-bit rows bottom-up in the order blue,
// green, red, fourth byte.
std::string EncodeBmp(const Picture& picture);

// Writes the BMP file beside path and renames it into place, replacing an
// existing file; a failed write leaves nothing new under path.
bool WriteBmpFile(const Picture& picture, const std::string& path);

// The picture a capture takes: the video window's pixels while a video is
// shown, else panePicture unfaded; nothing with neither.
std::optional<Picture> CaptureSource(AppState& state);

// Command 40019: asks for the capture folder when CaptureDir is empty or
// gone, then writes the source there under the current file's name and
// position. Failures are silent.
void CaptureToFile(AppState& state);
// Command 40021: the source as an image on the clipboard.
void CaptureToClipboard(AppState& state);

}  // namespace qel
