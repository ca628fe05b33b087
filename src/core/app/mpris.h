// The player as the desktop's media controls see it over MPRIS: what each
// method does in the player's own terms, what each property shows and
// accepts, and which changes the controls are told of. The D-Bus side only
// forwards between the bus and these.
#pragma once

#include <climits>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/state.h"

namespace qel {

inline constexpr std::string_view kMprisRootInterface = "org.mpris.MediaPlayer2";
inline constexpr std::string_view kMprisPlayerInterface = "org.mpris.MediaPlayer2.Player";
inline constexpr std::string_view kMprisObjectPath = "/org/mpris/MediaPlayer2";
inline constexpr std::string_view kMprisNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

// The bus name of an instance: "org.mpris.MediaPlayer2.qel" for the
// unnamed player, "org.mpris.MediaPlayer2.qel.instance_<name>" for a named
// one (or one started under another program name), every byte the bus does
// not allow in a name written as _XX.
std::string MprisBusName(const std::string& instanceName);

// The track id of a file: an object path of its own, the same wherever the
// file stands in the list.
std::string MprisTrackId(const std::string& path);

// ---- values as the bus carries them

struct MprisObjectPath {
  std::string path;
  bool operator==(const MprisObjectPath&) const = default;
};
// A value inside the metadata dictionary (x, s, o).
using MprisEntry = std::variant<long long, std::string, MprisObjectPath>;
using MprisMap = std::map<std::string, MprisEntry>;
// A property's value: b, x, d, s, o, as, a{sv}.
using MprisValue =
    std::variant<bool, long long, double, std::string, MprisObjectPath, std::vector<std::string>, MprisMap>;

// ---- what the player shows

struct MprisTrack {
  std::string path;
  std::string trackId;
  std::string title;     // as its row shows it
  long long lengthUs = 0;  // 0 when no length is known
  std::string picture;   // the picture beside the file, or empty
  bool operator==(const MprisTrack&) const = default;
};

// The player at one moment, as the properties show it.
struct MprisView {
  std::string mode;  // the device's mode: "playing", "paused", "stopped" or ""
  PlayMode order = PlayMode::Order;
  int volume = 0;
  std::optional<MprisTrack> track;  // the current entry
  bool hasList = false;
  long long positionUs = 0;
  uint32_t seeks = 0;
};

// The player now. What is slow to find out about a track (its length, its
// picture) is taken from `previous` when the track is the same file.
MprisView ReadMprisView(AppState& state, const MprisView* previous);

// The position of the open file, 0 when none is open.
long long MprisPositionUs(AppState& state);

// Facts of this build that never change while it runs.
struct MprisAbout {
  std::string identity = "Qel";
  std::string desktopEntry;
  std::vector<std::string> uriSchemes{"file"};
  std::vector<std::string> mimeTypes;
};

// ---- properties

// Whether clients hear of a property's changes (the bus's
// EmitsChangedSignal): on every change, never (the position, which moves
// on by itself), or never because it is constant.
enum class MprisEmits { Changes, Never, Const };

struct MprisProperty {
  std::string_view interface;
  std::string_view name;
  std::string_view signature;
  bool writable;
  MprisEmits emits;
  MprisValue (*get)(const MprisView& view, const MprisAbout& about);
};

// Both interfaces' properties, the root interface's first.
std::span<const MprisProperty> MprisProperties();
const MprisProperty* FindMprisProperty(std::string_view interface, std::string_view name);

// The properties clients are told of whose values differ between two views,
// in table order. Position is never among them.
std::vector<const MprisProperty*> ChangedMprisProperties(const MprisView& before, const MprisView& after,
                                                         const MprisAbout& about);

// The position jumped between two views of the same track: a seek was sent,
// or the file started again from an earlier place (a single file
// repeating). A change of track is told by its metadata instead.
bool MprisPositionJumped(const MprisView& before, const MprisView& after);

// The play order for LoopStatus and Shuffle, both ways: ORDER is "Playlist",
// RANDOM "Playlist" shuffled, SINGLE "Track", ONE "None".
std::string_view LoopStatusOf(PlayMode mode);
bool ShuffleOf(PlayMode mode);
// The play order a client's LoopStatus asks for, from the one in force
// (shuffling stays on for "Playlist"); nothing for an unknown status.
std::optional<PlayMode> PlayModeForLoopStatus(PlayMode current, std::string_view loopStatus);
// Shuffle on is RANDOM; off turns RANDOM into ORDER and leaves the others.
PlayMode PlayModeForShuffle(PlayMode current, bool shuffle);
// The play-order menu item of a mode (2500, 2600, 2700, 3000).
int PlayModeMenuItem(PlayMode mode);

// Whether a value may be written to the property: it is writable and the
// value has its type.
bool MprisAccepts(const MprisProperty& property, const MprisValue& value);
// A client writes a property: the play order through its menu item (only
// when it changes, so a shuffled order is not shuffled again), the volume
// as a fraction of the full volume, a rate of 0 as a pause.
void SetMprisProperty(AppState& state, const MprisProperty& property, const MprisValue& value);

// ---- methods

enum class MprisAction { Raise, Quit, Command, PlayPause, Play, Pause, Seek, SetPosition, OpenUri };

struct MprisMethod {
  std::string_view interface;
  std::string_view name;
  std::string_view signature;  // of its arguments
  MprisAction action;
  int command;  // for MprisAction::Command
};

std::span<const MprisMethod> MprisMethods();
const MprisMethod* FindMprisMethod(std::string_view interface, std::string_view name);

// A method's arguments: the number of Seek and SetPosition (microseconds),
// the track id of SetPosition, the URI of OpenUri.
struct MprisCall {
  long long number = 0;
  std::string text;
};

// Runs a method as the player's own action: Stop, Next and Previous as
// their commands; PlayPause as the play/pause media key; Play and Pause as
// that key where it would play or pause, else nothing; Seek and SetPosition
// by the rules of a move on the position slider; Raise and Quit through the
// window (activation, the orderly close). OpenUri is a hand-off, see below.
void RunMprisMethod(AppState& state, const MprisMethod& method, const MprisCall& call);

// The longest text a client may pass (a URI of the longest path, each byte
// escaped); a longer one is refused before it is looked at.
inline constexpr size_t kMprisMaxText = 3 * PATH_MAX + 64;

// The line a second start would hand over for the file a URI names; nothing
// for a URI that names no local file, or one longer than a path can be.
std::optional<std::string> MprisHandOffLine(const AppState& state, std::string_view uri);

}  // namespace qel
