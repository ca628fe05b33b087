// Pieces of "/" separated paths, as every part of the player needs them.
// Pure text operations: nothing here touches the file system.
#pragma once

#include <string>
#include <string_view>

namespace qel::files {

// Everything before the last "/" ("/" for a file in the root, "" without one).
std::string_view Folder(std::string_view path);
// Everything after the last "/".
std::string_view Name(std::string_view path);
// The extension of a path's file name, from its last dot, dot included; "".
std::string_view Extension(std::string_view path);
// The file name without its extension.
std::string_view Stem(std::string_view path);
// folder + "/" + name, without doubling a "/".
std::string Join(std::string_view folder, std::string_view name);
// "." and ".." resolved and repeated "/" merged, by the text alone; ".."
// above the root stays at the root. A trailing "/" is dropped.
std::string Normalize(std::string_view path);
// ASCII case-insensitive equality.
bool EqualNoCase(std::string_view a, std::string_view b);

}  // namespace qel::files
