#include "core/app/capture.h"

#include <cstdio>

#include "core/fileops/file_ops.h"
#include "core/fileops/places.h"
#include "core/fileops/posix_files.h"
#include "core/fs/atomic_file.h"
#include "core/fs/file_names.h"
#include "core/playback/position.h"

namespace qel {

namespace {

void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}

void Put32(std::string& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((v >> shift) & 0xFF);
}

std::string DeviceAnswer(AppState& state, const std::string& command) {
  std::string answer;
  if (state.platform.device) state.platform.device->Send(command, &answer);
  return answer;
}

}  // namespace

std::string CaptureFileName(const std::string& base, long long positionMs, int lengthSeconds) {
  if (positionMs < 0) positionMs = 0;
  // The base is joined as it is: a "%" in a file name is no format.
  const char* format = lengthSeconds >= 6000 ? "_%03lld_%02lld_%03lld.bmp" : "_%02lld_%02lld_%03lld.bmp";
  char tail[64];
  std::snprintf(tail, sizeof tail, format, positionMs / 60000, positionMs / 1000 % 60, positionMs % 1000);
  return base + tail;
}

std::string EncodeBmp(const Picture& picture) {
  const uint32_t rowSize = static_cast<uint32_t>(picture.width) * 4;
  const uint32_t pixelBytes = rowSize * static_cast<uint32_t>(picture.height);
  std::string out;
  out.reserve(54 + pixelBytes);
  out += "BM";
  Put32(out, 54 + pixelBytes);
  Put32(out, 0);
  Put32(out, 54);
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(picture.width));
  Put32(out, static_cast<uint32_t>(picture.height));  // positive: bottom-up rows
  Put16(out, 1);
  Put16(out, 32);
  out.append(24, '\0');  // compression, image size, resolutions, colours
  for (int row = picture.height - 1; row >= 0; --row)
    out.append(reinterpret_cast<const char*>(picture.pixels.data()) + static_cast<size_t>(row) * rowSize, rowSize);
  return out;
}

bool WriteBmpFile(const Picture& picture, const std::string& path) {
  if (picture.Empty() || picture.pixels.size() < static_cast<size_t>(picture.width) * picture.height * 4) return false;
  return WriteFileReplacing(path, EncodeBmp(picture));
}

std::optional<Picture> CaptureSource(AppState& state) {
  if (!DeviceAnswer(state, "where " + state.mciAlias + " source").empty()) {
    if (!state.platform.window) return std::nullopt;
    return state.platform.window->VideoWindowPicture();
  }
  if (state.panePicture && !state.panePicture->Empty()) return state.panePicture;
  return std::nullopt;
}

void CaptureToFile(AppState& state) {
  if (state.currentIndex < 0 || state.currentIndex >= static_cast<int>(state.entries.size())) return;
  std::string& folder = state.settings.CaptureDir;
  if (folder.empty() || !IsFolder(folder)) {
    if (!state.platform.window) return;
    const std::optional<std::string> chosen = state.platform.window->FolderDialog(kMovePrompt, "");
    if (!chosen) return;
    folder = *chosen;
  }
  const std::string media = state.entries[state.currentIndex].path;
  UpdateLengthSeconds(state);
  const long long position = ReadDecimal(DeviceAnswer(state, "status " + state.mciAlias + " position"));
  const std::string path = files::Join(folder, CaptureFileName(std::string(files::Stem(media)), position,
                                                               state.lengthSeconds));
  if (const std::optional<Picture> source = CaptureSource(state)) WriteBmpFile(*source, path);
}

void CaptureToClipboard(AppState& state) {
  if (!state.platform.desktop) return;
  if (const std::optional<Picture> source = CaptureSource(state)) state.platform.desktop->PutPictureOnClipboard(*source);
}

}  // namespace qel
