#include "core/metadata/metadata.h"

#include <climits>

#include "core/metadata/readers.h"

namespace qel {
namespace {

using meta::Source;

bool IsAny(const std::string& ext, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (ext == n) return true;
  return false;
}

// Runs reader on the file when it opens; nothing otherwise.
template <typename Result, typename Reader>
Result WithFile(const std::string& path, Reader reader) {
  auto src = Source::OpenFile(path);
  if (!src) return Result{};
  return reader(*src);
}

// Asks the media device under its own alias, which is never the playing
// file's, and closes it again at once.
int ProbeLength(AppState& state, const std::string& path) {
  MediaDevice* device = state.platform.device;
  if (!device) return 0;
  device->Send("open " + QuotedPath(path) + " alias Qel_ type mpegvideo shareable");
  std::string answer;
  device->Send("status Qel_ length", &answer);
  device->Send("stop Qel_");
  device->Send("close Qel_");
  return meta::ProbeAnswerSeconds(answer);
}

}  // namespace

namespace meta {

int ProbeAnswerSeconds(const std::string& answer) {
  long long ms = 0;
  for (char c : answer) {
    if (c < '0' || c > '9') break;
    ms = ms * 10 + (c - '0');
    if (ms > 1000LL * INT_MAX) break;
  }
  return CeilSeconds(static_cast<double>(ms) / 1000.0);
}

}  // namespace meta

std::string ReadTitle(const std::string& path) {
  const std::string ext = meta::LowerExtension(path);
  std::string (*reader)(Source&) = nullptr;
  if (ext == ".mp3") reader = meta::Mp3Title;
  else if (ext == ".mid") reader = meta::MidiTitle;
  else if (ext == ".wma") reader = meta::AsfTitle;
  else if (IsAny(ext, {".flac", ".fla"})) reader = meta::FlacTitle;
  else if (IsAny(ext, {".ra", ".rm"})) reader = meta::RealMediaTitle;
  else if (ext == ".ogg") reader = meta::OggTitle;
  else if (ext == ".m4a") reader = meta::Mp4AudioTitle;
  if (!reader) return {};
  return WithFile<std::string>(path, reader);
}

namespace {

// ReadLength's routes in their order; the device is asked only with a state.
int Length(AppState* state, const std::string& path) {
  if (path.empty()) return 0;
  const std::string ext = meta::LowerExtension(path);
  auto header = [&](int (*reader)(Source&)) { return WithFile<int>(path, reader); };

  // These headers answer before the media device, whose probe loads the
  // whole media stack for a number the file already holds: the video
  // containers', and FLAC's, which rounds up as the probe does. The MP3,
  // WMA, WAV and RealMedia readers round down, and a length shorter than
  // the sound would end the file early, so there the device measures first.
  int seconds = 0;
  if (ext == ".mp4") seconds = header(meta::Mp4Length);
  else if (ext == ".wmv") seconds = header(meta::AsfLength);
  else if (ext == ".avi") seconds = header(meta::AviLength);
  else if (ext == ".mkv") seconds = header(meta::MatroskaLength);
  else if (IsAny(ext, {".mpg", ".mpeg"})) seconds = header(meta::MpegAudioLength);
  else if (IsAny(ext, {".flac", ".fla"})) seconds = header(meta::FlacLength);
  if (seconds != 0) return seconds;

  if (state && (seconds = ProbeLength(*state, path)) != 0) return seconds;

  if (IsAny(ext, {".mp3", ".mpg", ".mpeg"}) && (seconds = header(meta::MpegAudioLength)) != 0) return seconds;
  if (IsAny(ext, {".wma", ".wmv"}) && (seconds = header(meta::AsfLength)) != 0) return seconds;
  if (IsAny(ext, {".wav", ".wave"}) && (seconds = header(meta::WavLength)) != 0) return seconds;
  if (IsAny(ext, {".ra", ".rm"})) return header(meta::RealMediaLength);
  return 0;
}

}  // namespace

int ReadLength(AppState& state, const std::string& path) { return Length(&state, path); }

int ReadHeaderLength(const std::string& path) { return Length(nullptr, path); }

MediaInfo ReadLyricsAndPicture(AppState& state, const std::string& path, bool withPicture) {
  MediaInfo info;
  if (meta::LowerExtension(path) != ".mp3") return info;
  auto src = Source::OpenFile(path);
  if (!src) return info;
  meta::LyricsAndPicture found = meta::Mp3LyricsAndPicture(*src, withPicture ? state.platform.images : nullptr);
  info.lyrics = std::move(found.lyrics);
  info.syncedLyrics = std::move(found.syncedLyrics);
  info.picture = std::move(found.picture);
  return info;
}

}  // namespace qel
