// What the player reads out of media files: a title, a length, lyrics and a
// picture, each from its own entry point at its own time; nothing is cached.
// Readers never report: a file they cannot read answers "nothing".
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/state.h"

namespace qel {

// A line of lyrics the file times itself, from ms on.
struct SyncedLine {
  long long ms = 0;
  std::string words;
};

struct MediaInfo {
  std::string title;
  int lengthSeconds = 0;
  std::string lyrics;
  std::vector<SyncedLine> syncedLyrics;  // in the file's order
  std::optional<Picture> picture;
};

// The title of a media file, or empty.
std::string ReadTitle(const std::string& path);
// Length in whole seconds, 0 when none is found.
int ReadLength(AppState& state, const std::string& path);
// The same from the file's own headers alone, never asking the media device:
// for a file that is not playing, where the device's probe would load the
// whole media engine for a number only shown.
int ReadHeaderLength(const std::string& path);
// Lyrics and embedded picture (MP3 only); the picture is decoded through the
// image seam, unless withPicture is false (the caller has a better one).
MediaInfo ReadLyricsAndPicture(AppState& state, const std::string& path, bool withPicture = true);

}  // namespace qel
