// Files that keep a media file company: the same name beside it with
// another extension, such as its picture. The pane and the desktop's media
// controls find them the same way.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qel {

// The media file's path with its extension replaced by `extension` (".png");
// a name without one gets it appended.
std::string CompanionPath(std::string_view mediaPath, std::string_view extension);

// The picture beside a media file: its ".png", else its ".jpg", else its
// ".jpeg", the first that is a regular file (or a link to one). Nothing when
// there is none.
std::optional<std::string> CompanionPicture(std::string_view mediaPath);

}  // namespace qel
