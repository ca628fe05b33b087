// Where the ini file and the auto-saved playlist live. A "<name>.ini" beside
// the executable makes the installation portable: both files stay there.
// Otherwise the ini goes to $XDG_CONFIG_HOME/qel/ (~/.config/qel/) and the
// auto-saved playlist to $XDG_STATE_HOME/qel/ (~/.local/state/qel/).
// <name> is the executable's file name without its extension ("qel").
#pragma once

#include <string>

namespace qel {

// $XDG_CONFIG_HOME/qel and $XDG_STATE_HOME/qel, with the freedesktop
// defaults when the variables are unset, empty or not absolute.
std::string ConfigFolder();
std::string StateFolder();

// Whether the executable's own folder holds the ini (the common one, or the
// named instance's own).
bool IsPortable(const std::string& executablePath, const std::string& instanceName);

// The settings file: "<name><instance>.ini" when the instance name begins
// with "-" and that file exists, else the common "<name>.ini"; beside the
// executable when portable, else in ConfigFolder().
std::string IniPathFor(const std::string& executablePath, const std::string& instanceName);

// The folder of the auto-saved playlist: beside the executable when
// portable, else StateFolder(). The file is "<name>.m3u8", or
// "<name><instance>.m3u8" for a named instance ("qel-2.m3u8").
std::string AutoPlaylistFolder(const std::string& executablePath, const std::string& instanceName);
std::string AutoPlaylistPath(const std::string& executablePath, const std::string& instanceName);

}  // namespace qel
