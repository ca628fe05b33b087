// file: URIs for local paths, both ways, as the desktop's services pass
// files around (media controls, drops, clipboard file lists).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qel {

// "file://" and the absolute path with every byte outside the unreserved
// characters and "/" written as %XX, so any file name (blanks, "#", "%",
// bytes that are not UTF-8) survives the trip.
std::string FileUri(std::string_view path);

// The local path a file: URI names: "file:///p", "file://localhost/p" or
// "file:/p", percent escapes decoded; a query or fragment is not part of
// it. Nothing for another scheme, another host, a relative or empty path,
// a broken escape or a NUL (escaped or not).
std::optional<std::string> LocalPathFromUri(std::string_view uri);

}  // namespace qel
