// Extended M3U playlists: ".m3u8" in UTF-8, ".m3u" in the legacy code page.
#pragma once

#include <string>

#include "core/state.h"

namespace qel {

// Inserts one entry per accepted line at at + added (increasing added); with
// rows, inserts the rows too. Does not renumber.
void ReadPlaylist(AppState& state, const std::string& path, const std::string& baseDir, int at, int& added,
                  bool rows, bool noExt);

// Writes the list: to the auto-saved playlist when autoSave, else through
// the save dialog. False when the file could not be written (the old one
// stays); an empty list or a cancelled dialog writes nothing and is no
// failure.
bool WritePlaylist(AppState& state, bool autoSave, int lastIndex, const std::string& executablePath, bool noExt);

}  // namespace qel
