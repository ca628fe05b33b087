// Extended M3U playlists: ".m3u8" in UTF-8, ".m3u" in the legacy code page
// (or in UTF-8 when its bytes say so).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/state.h"

namespace qel {

// What one playlist or saved search may bring into the list. A file beyond
// the byte bound (an endless device behind a link, a runaway file) is read
// up to it; the list is then what was read so far.
constexpr size_t kPlaylistByteLimit = size_t{64} << 20;
constexpr size_t kListEntryLimit = 1000000;

// Inserts one entry per accepted line at at + added (increasing added); with
// rows, inserts the rows too. Does not renumber. Only regular files are
// read, and lines only name regular files and folders.
void ReadPlaylist(AppState& state, const std::string& path, const std::string& baseDir, int at, int& added,
                  bool rows, bool noExt);

// Whether the bytes of a ".m3u" are UTF-8 rather than the legacy code page:
// a UTF-8 byte-order mark, or valid UTF-8 with at least one non-ASCII
// character.
bool ReadsAsUtf8(std::string_view bytes);

// Writes the list: to the auto-saved playlist when autoSave, else through
// the save dialog, whose chosen filter gives a name without a playlist
// extension its extension (and so its encoding). A ".m3u" is written only
// when every entry reads back from it; otherwise the user is told which
// files stand in the way and may save a ".m3u8" instead. False when the file
// could not be written (the old one stays); an empty list, a cancelled dialog
// or a refused ".m3u" writes nothing and is no failure.
bool WritePlaylist(AppState& state, bool autoSave, int lastIndex, const std::string& executablePath, bool noExt);

}  // namespace qel
