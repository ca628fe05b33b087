// The rules of a start: which instance family this start belongs to, whether
// it is a remote command or a hand-off to a running player, what the new
// window opens first, and the keyboard accelerators it installs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/list/list.h"

namespace qel {

// Arguments as the program received them; argument 0 is the program.
using Arguments = std::vector<std::string>;

// A leading argument that begins with "-" names the instance (up to its
// first blank); otherwise the executable's file name does. A "/" in a name
// becomes "_", since the name becomes part of file names; names are cut to
// kMaxInstanceName bytes on a character boundary.
constexpr size_t kMaxInstanceName = 200;
std::string InstanceNameFromArguments(const Arguments& args, const std::string& executablePath);

// Remote switches, whole arguments only ("/music/Next Level.mp3" is a file):
// "/Play" gives 1004, else "/Stop" 1006, else "/Next" 1008; 0 for none.
int RemoteCommandFromArguments(const Arguments& args);

// The path this start names: argument 1, or argument 2 after an instance
// name; empty when there is none. Relative paths are made absolute against
// workingDir, since a running instance would resolve them elsewhere.
std::string StartupTarget(const Arguments& args, const std::string& workingDir);

// The line a second start hands to the running instance: the instance name
// and one blank when the start is named, then the target in double quotes
// (UTF-8). Without a target the line holds only the name (or nothing), which
// tells the running instance to clear its list.
std::string BuildHandOffLine(const Arguments& args, const std::string& instanceName, const std::string& workingDir);

// What the new window opens first: the named target as a file, else the
// auto-saved playlist as the resumed list when it exists, else the empty
// target (an empty list titled "Qel").
struct StartupOpen {
  std::string target;
  OpenKind kind = OpenKind::File;
  bool operator==(const StartupOpen&) const = default;
};
StartupOpen ChooseStartupOpen(const Arguments& args, const std::string& workingDir,
                              const std::string& autoSavedPlaylist);

// Keys of the accelerator table; the desktop maps its own key codes to these.
enum class Key {
  Down, Up, Left, Right, Enter, Space, Escape, Delete, Insert, Tab, Backspace,
  PageUp, PageDown, Home, End,
  A, C, F, G, Q, R, S, T, W, X,
  F2, F3, F5, F10, F11, F12,
  NumAdd, NumSubtract, NumMultiply, NumDecimal,
  Num0, Num1, Num2, Num3, Num4, Num5, Num6, Num7, Num8, Num9,
};

// Modifier bits; an accelerator matches only its exact set.
constexpr unsigned kNoModifier = 0;
constexpr unsigned kCtrl = 1;
constexpr unsigned kShift = 2;
constexpr unsigned kAlt = 4;

struct Accelerator {
  Key key;
  unsigned modifiers;
  int command;
};

// The 57 accelerators in the order they are installed.
const std::vector<Accelerator>& AcceleratorTable();
// The command of a key with exactly these modifiers, or none.
std::optional<int> CommandForKey(Key key, unsigned modifiers);

}  // namespace qel
