// What the engine plays, by extension, with the MIME type the desktop knows
// each by. The engine's extension list, the launcher's MimeType line and the
// MIME types the media-player service announces all come from this table.
#pragma once

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace qel::engine {

struct MediaType {
  std::string_view extension;  // lower case, without the dot
  std::string_view mime;       // as shared-mime-info names it
};

inline constexpr std::array kMediaTypes = {
    MediaType{"mp3", "audio/mpeg"},          MediaType{"mp2", "audio/mpeg"},
    MediaType{"mp1", "audio/mpeg"},          MediaType{"mpa", "audio/mpeg"},
    MediaType{"m4a", "audio/mp4"},           MediaType{"aac", "audio/aac"},
    MediaType{"ogg", "audio/ogg"},           MediaType{"oga", "audio/ogg"},
    MediaType{"opus", "audio/x-opus+ogg"},   MediaType{"flac", "audio/flac"},
    MediaType{"fla", "audio/flac"},          MediaType{"wav", "audio/x-wav"},
    MediaType{"wave", "audio/x-wav"},        MediaType{"wma", "audio/x-ms-wma"},
    MediaType{"ape", "audio/x-ape"},         MediaType{"wv", "audio/x-wavpack"},
    MediaType{"tta", "audio/x-tta"},         MediaType{"mka", "audio/x-matroska"},
    MediaType{"ac3", "audio/ac3"},           MediaType{"dts", "audio/vnd.dts"},
    MediaType{"aif", "audio/x-aiff"},        MediaType{"aiff", "audio/x-aiff"},
    MediaType{"au", "audio/basic"},          MediaType{"mid", "audio/midi"},
    MediaType{"mp4", "video/mp4"},           MediaType{"m4v", "video/x-m4v"},
    MediaType{"mkv", "video/x-matroska"},    MediaType{"webm", "video/webm"},
    MediaType{"avi", "video/x-msvideo"},     MediaType{"wmv", "video/x-ms-wmv"},
    MediaType{"asf", "video/x-ms-asf"},      MediaType{"mov", "video/quicktime"},
    MediaType{"mpg", "video/mpeg"},          MediaType{"mpeg", "video/mpeg"},
    MediaType{"ts", "video/mp2t"},           MediaType{"m2ts", "video/mp2t"},
    MediaType{"flv", "video/x-flv"},         MediaType{"3gp", "video/3gpp"},
    MediaType{"ra", "audio/vnd.rn-realaudio"}, MediaType{"rm", "application/vnd.rn-realmedia"},
    MediaType{"rmvb", "application/vnd.rn-realmedia"}, MediaType{"ogv", "video/ogg"},
};

// The extensions alone, as the device reports what it plays.
inline std::vector<std::string> PlayableExtensionList() {
  std::vector<std::string> out;
  for (const MediaType& type : kMediaTypes) out.emplace_back(type.extension);
  return out;
}

// Whether an extension (lower case, dot included) is one of the table's.
inline bool IsMediaExtension(std::string_view extension) {
  return extension.size() > 1 && std::any_of(kMediaTypes.begin(), kMediaTypes.end(), [&](const MediaType& type) {
           return extension.substr(1) == type.extension;
         });
}

// Playlists the player opens besides media.
inline constexpr std::array<std::string_view, 2> kPlaylistMimeTypes = {"audio/x-mpegurl",
                                                                      "application/vnd.apple.mpegurl"};

}  // namespace qel::engine
