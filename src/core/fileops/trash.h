// The freedesktop Trash. A deleted file goes to the home Trash when it lies
// on the home Trash's file system, else to the Trash at the top of its own
// file system ($top/.Trash/$uid when the administrator made a shared
// .Trash, else $top/.Trash-$uid), so that deleting is always a rename. Each
// file gets a .trashinfo beside it that tells where it came from and when.
#pragma once

#include <string>
#include <string_view>

namespace qel {

// Moves the file (not a folder) into its Trash. False, the file left where it
// was, when no Trash can take it.
bool TrashFile(const std::string& path, const std::string& homeTrash);

// The Path= value of a .trashinfo: URL escaping of every byte except
// letters, digits, "-._~" and "/".
std::string EscapeTrashPath(std::string_view path);

// The name a file takes in a Trash on its n-th try (1: its own name, then
// "stem.2.ext", ...), short enough for its .trashinfo name to fit.
std::string TrashEntryName(std::string_view name, int n);

}  // namespace qel
