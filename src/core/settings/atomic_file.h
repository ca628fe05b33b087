// Replacing a file so that a crash or a full disk never leaves half of it:
// the new bytes go to a temporary file in the same folder, are flushed to
// the disk, and only then take the old file's name in one rename.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qel {

// Writes bytes into a new temporary file beside path (creating the folder
// when it is missing) and flushes it. Answers the temporary file's path, or
// nothing when any step failed (nothing is then left behind). An existing
// target's permissions are copied; a new file gets mode.
std::optional<std::string> WriteTemporaryBeside(const std::string& path, std::string_view bytes,
                                                unsigned mode = 0644);
// Renames the temporary file over path and flushes the folder; on failure
// the temporary file is removed and the answer is false.
bool CommitTemporary(const std::string& temporary, const std::string& path);
// Both steps; the old file stays whole when any of them fails. A symbolic
// link at path is followed, so the link stays and its target is replaced.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, unsigned mode = 0644);
// The file a symbolic link leads to (path itself otherwise or when the link
// is broken).
std::string FollowLink(const std::string& path);

}  // namespace qel
