// The files beside a media file that the pane shows: a text of the same
// name and a picture of the same name.
#pragma once

#include <string>
#include <string_view>

namespace qel {

struct Companions {
  std::string text;     // empty: none
  std::string picture;  // empty: none
};

// The extensions tried, in order of preference.
inline constexpr std::string_view kTextCompanions[] = {".txt", ".doc", ".lrc"};
inline constexpr std::string_view kPictureCompanions[] = {".png", ".jpg", ".jpeg"};

// The media path with its extension replaced (appended when it has none).
std::string CompanionPath(std::string_view mediaPath, std::string_view extension);

// The first candidate of each kind that is a regular file. Names match
// exactly first; when no candidate of a kind exists so, a name in the same
// folder that differs only in ASCII case is taken ("Song.TXT" beside
// "song.mp3", as files copied from Windows often are).
Companions FindCompanions(const std::string& mediaPath);

// Whether the file's extension is ".lrc" (any case).
bool IsTimedLyricsFile(std::string_view path);

}  // namespace qel
