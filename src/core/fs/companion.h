// Files that keep a media file company: the same name beside it with
// another extension, such as its words and its picture. The pane and the
// desktop's media controls find them through these functions alone, so
// they never disagree on which picture belongs to a track.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qel {

// The extensions tried, in order of preference.
inline constexpr std::string_view kTextCompanions[] = {".txt", ".doc", ".lrc"};
inline constexpr std::string_view kPictureCompanions[] = {".png", ".jpg", ".jpeg"};

// The media file's path with its extension replaced by `extension` (".png");
// a name without one gets it appended.
std::string CompanionPath(std::string_view mediaPath, std::string_view extension);

// The first of `extensions` beside the media file that is a regular file
// (or a link to one). Names match exactly first; when none of them exists
// so, a name in the same folder that differs only in ASCII case is taken
// ("Song.TXT" beside "song.mp3", as files copied from Windows often are).
std::optional<std::string> FindCompanion(std::string_view mediaPath, std::span<const std::string_view> extensions);

// The words beside a media file: its ".txt", else ".doc", else ".lrc".
std::optional<std::string> CompanionText(std::string_view mediaPath);
// The picture beside a media file: its ".png", else ".jpg", else ".jpeg".
std::optional<std::string> CompanionPicture(std::string_view mediaPath);

// Whether the file's extension is ".lrc" (any case).
bool IsTimedLyricsFile(std::string_view path);

}  // namespace qel
