#include "core/app/mpris.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/app/commands.h"
#include "core/app/hotkeys.h"
#include "core/app/startup.h"
#include "core/app/window_rules.h"
#include "core/fs/companion.h"
#include "core/fs/file_uri.h"
#include "core/list/list.h"
#include "core/metadata/metadata.h"
#include "core/playback/device.h"
#include "core/playback/order.h"
#include "core/playback/position.h"
#include "core/playback/volume.h"

namespace qel {

namespace {

constexpr std::string_view kBusPrefix = "org.mpris.MediaPlayer2.qel";
// The bus allows 255 bytes in a name.
constexpr size_t kMaxBusName = 255;
// A position this much earlier than the last one seen is a jump back; less
// is the device's own unevenness.
constexpr long long kJumpBackUs = 500'000;

bool Open(const std::string& mode) { return mode == "playing" || mode == "paused"; }

bool ValidIndex(const AppState& s, int i) { return i >= 0 && i < static_cast<int>(s.entries.size()); }

// ---- property values

MprisValue Yes(const MprisView&, const MprisAbout&) { return true; }
MprisValue No(const MprisView&, const MprisAbout&) { return false; }
MprisValue One(const MprisView&, const MprisAbout&) { return 1.0; }
MprisValue Identity(const MprisView&, const MprisAbout& a) { return a.identity; }
MprisValue DesktopEntry(const MprisView&, const MprisAbout& a) { return a.desktopEntry; }
MprisValue UriSchemes(const MprisView&, const MprisAbout& a) { return a.uriSchemes; }
MprisValue MimeTypes(const MprisView&, const MprisAbout& a) { return a.mimeTypes; }

MprisValue PlaybackStatus(const MprisView& v, const MprisAbout&) {
  if (v.mode == "playing") return std::string("Playing");
  if (v.mode == "paused") return std::string("Paused");
  return std::string("Stopped");
}
MprisValue LoopStatus(const MprisView& v, const MprisAbout&) { return std::string(LoopStatusOf(v.order)); }
MprisValue Shuffle(const MprisView& v, const MprisAbout&) { return ShuffleOf(v.order); }
MprisValue Volume(const MprisView& v, const MprisAbout&) { return v.volume / static_cast<double>(kVolumeMax); }
MprisValue Position(const MprisView& v, const MprisAbout&) { return v.positionUs; }

MprisValue Metadata(const MprisView& v, const MprisAbout&) {
  MprisMap map;
  if (!v.track) {
    map["mpris:trackid"] = MprisObjectPath{std::string(kMprisNoTrack)};
    return map;
  }
  const MprisTrack& t = *v.track;
  map["mpris:trackid"] = MprisObjectPath{t.trackId};
  map["xesam:title"] = t.title;
  map["xesam:url"] = FileUri(t.path);
  if (t.lengthUs > 0) map["mpris:length"] = t.lengthUs;
  if (!t.picture.empty()) map["mpris:artUrl"] = FileUri(t.picture);
  return map;
}

MprisValue CanGoAround(const MprisView& v, const MprisAbout&) { return v.hasList; }
MprisValue CanPlayOrPause(const MprisView& v, const MprisAbout&) { return v.hasList && v.track.has_value(); }
MprisValue CanSeek(const MprisView& v, const MprisAbout&) {
  return Open(v.mode) && v.track && v.track->lengthUs > 0;
}

constexpr std::string_view kRoot = kMprisRootInterface;
constexpr std::string_view kPlayer = kMprisPlayerInterface;
using E = MprisEmits;

constexpr std::array kProperties = {
    MprisProperty{kRoot, "CanQuit", "b", false, E::Const, Yes},
    MprisProperty{kRoot, "CanRaise", "b", false, E::Const, Yes},
    MprisProperty{kRoot, "HasTrackList", "b", false, E::Const, No},
    MprisProperty{kRoot, "Identity", "s", false, E::Const, Identity},
    MprisProperty{kRoot, "DesktopEntry", "s", false, E::Const, DesktopEntry},
    MprisProperty{kRoot, "SupportedUriSchemes", "as", false, E::Const, UriSchemes},
    MprisProperty{kRoot, "SupportedMimeTypes", "as", false, E::Const, MimeTypes},
    MprisProperty{kPlayer, "PlaybackStatus", "s", false, E::Changes, PlaybackStatus},
    MprisProperty{kPlayer, "LoopStatus", "s", true, E::Changes, LoopStatus},
    MprisProperty{kPlayer, "Rate", "d", true, E::Changes, One},
    MprisProperty{kPlayer, "Shuffle", "b", true, E::Changes, Shuffle},
    MprisProperty{kPlayer, "Metadata", "a{sv}", false, E::Changes, Metadata},
    MprisProperty{kPlayer, "Volume", "d", true, E::Changes, Volume},
    MprisProperty{kPlayer, "Position", "x", false, E::Never, Position},
    MprisProperty{kPlayer, "MinimumRate", "d", false, E::Const, One},
    MprisProperty{kPlayer, "MaximumRate", "d", false, E::Const, One},
    MprisProperty{kPlayer, "CanGoNext", "b", false, E::Changes, CanGoAround},
    MprisProperty{kPlayer, "CanGoPrevious", "b", false, E::Changes, CanGoAround},
    MprisProperty{kPlayer, "CanPlay", "b", false, E::Changes, CanPlayOrPause},
    MprisProperty{kPlayer, "CanPause", "b", false, E::Changes, CanPlayOrPause},
    MprisProperty{kPlayer, "CanSeek", "b", false, E::Changes, CanSeek},
    MprisProperty{kPlayer, "CanControl", "b", false, E::Const, Yes},
};

using A = MprisAction;
constexpr std::array kMethods = {
    MprisMethod{kRoot, "Raise", "", A::Raise, 0},
    MprisMethod{kRoot, "Quit", "", A::Quit, 0},
    MprisMethod{kPlayer, "Next", "", A::Command, 1008},
    MprisMethod{kPlayer, "Previous", "", A::Command, 1007},
    MprisMethod{kPlayer, "Pause", "", A::Pause, 0},
    MprisMethod{kPlayer, "PlayPause", "", A::PlayPause, 0},
    MprisMethod{kPlayer, "Stop", "", A::Command, 1006},
    MprisMethod{kPlayer, "Play", "", A::Play, 0},
    MprisMethod{kPlayer, "Seek", "x", A::Seek, 0},
    MprisMethod{kPlayer, "SetPosition", "ox", A::SetPosition, 0},
    MprisMethod{kPlayer, "OpenUri", "s", A::OpenUri, 0},
};

// The bytes a bus name element takes as they are; the element never begins
// with one of them, since "instance_" comes first.
bool BusNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

}  // namespace

std::string MprisBusName(const std::string& instanceName) {
  std::string_view name = instanceName;
  if (!name.empty() && name.front() == '-')
    name.remove_prefix(1);
  else if (name == "qel")
    return std::string(kBusPrefix);
  std::string bus = std::string(kBusPrefix) + ".instance_";
  static constexpr char kHex[] = "0123456789abcdef";
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    const size_t need = BusNameByte(c) ? 1 : 3;
    if (bus.size() + need > kMaxBusName) break;
    if (need == 1) {
      bus.push_back(ch);
    } else {
      bus.push_back('_');
      bus.push_back(kHex[c >> 4]);
      bus.push_back(kHex[c & 15]);
    }
  }
  return bus;
}

std::string MprisTrackId(const std::string& path) {
  // FNV-1a over the path: object paths allow only [A-Za-z0-9_] in an element.
  uint64_t hash = 14695981039346656037ull;
  for (char c : path) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  char id[64];
  std::snprintf(id, sizeof id, "/org/qel/Qel/Track/t%016llx", static_cast<unsigned long long>(hash));
  return id;
}

long long MprisPositionUs(AppState& state) {
  if (!state.platform.device || !ValidIndex(state, state.currentIndex) || !Open(DeviceMode(state))) return 0;
  std::string answer;
  state.platform.device->Send("status " + state.mciAlias + " position", &answer);
  return std::max(0LL, ReadDecimal(answer)) * 1000;
}

MprisView ReadMprisView(AppState& state, const MprisView* previous) {
  MprisView view;
  view.order = state.playMode;
  view.volume = state.volume;
  view.hasList = state.lastIndex != -1 && !state.entries.empty();
  view.seeks = state.seeks;
  if (ValidIndex(state, state.currentIndex)) {
    const ListEntry& entry = state.entries[state.currentIndex];
    MprisTrack track;
    track.path = entry.path;
    track.title = DisplayText(state, entry);
    // Only a current entry can be open: a player with an empty list asks
    // its device nothing.
    view.mode = DeviceMode(state);
    if (previous && previous->track && previous->track->path == entry.path) {
      track.trackId = previous->track->trackId;
      track.lengthUs = previous->track->lengthUs;
      track.picture = previous->track->picture;
    } else {
      track.trackId = MprisTrackId(entry.path);
      // The length the position slider uses when it has measured this file;
      // a file that is not open is described by its headers, since the
      // device's probe would load the media engine for a list that plays
      // nothing.
      int seconds = 0;
      if (state.lengthPath == entry.path && state.lengthStamp == StampOf(entry.path)) seconds = state.lengthSeconds;
      else if (Open(view.mode)) seconds = ReadLength(state, entry.path);
      else seconds = ReadHeaderLength(entry.path);
      track.lengthUs = std::max(0, seconds) * 1'000'000LL;
      track.picture = CompanionPicture(entry.path).value_or(std::string());
    }
    view.track = std::move(track);
  }
  if (Open(view.mode) && state.platform.device) {
    std::string answer;
    state.platform.device->Send("status " + state.mciAlias + " position", &answer);
    view.positionUs = std::max(0LL, ReadDecimal(answer)) * 1000;
  }
  return view;
}

std::span<const MprisProperty> MprisProperties() { return kProperties; }

const MprisProperty* FindMprisProperty(std::string_view interface, std::string_view name) {
  for (const MprisProperty& p : kProperties)
    if (p.interface == interface && p.name == name) return &p;
  return nullptr;
}

std::vector<const MprisProperty*> ChangedMprisProperties(const MprisView& before, const MprisView& after,
                                                         const MprisAbout& about) {
  std::vector<const MprisProperty*> changed;
  for (const MprisProperty& p : kProperties)
    if (p.emits == MprisEmits::Changes && p.get(before, about) != p.get(after, about)) changed.push_back(&p);
  return changed;
}

bool MprisPositionJumped(const MprisView& before, const MprisView& after) {
  if (!before.track || !after.track || before.track->path != after.track->path) return false;
  if (!Open(after.mode)) return false;
  if (after.seeks != before.seeks) return true;
  return Open(before.mode) && after.positionUs + kJumpBackUs < before.positionUs;
}

std::string_view LoopStatusOf(PlayMode mode) {
  switch (mode) {
    case PlayMode::Single: return "Track";
    case PlayMode::One: return "None";
    case PlayMode::Order:
    case PlayMode::Random: break;
  }
  return "Playlist";
}

bool ShuffleOf(PlayMode mode) { return mode == PlayMode::Random; }

std::optional<PlayMode> PlayModeForLoopStatus(PlayMode current, std::string_view loopStatus) {
  if (loopStatus == "Playlist") return current == PlayMode::Random ? PlayMode::Random : PlayMode::Order;
  if (loopStatus == "Track") return PlayMode::Single;
  if (loopStatus == "None") return PlayMode::One;
  return std::nullopt;
}

PlayMode PlayModeForShuffle(PlayMode current, bool shuffle) {
  if (shuffle) return PlayMode::Random;
  return current == PlayMode::Random ? PlayMode::Order : current;
}

int PlayModeMenuItem(PlayMode mode) {
  switch (mode) {
    case PlayMode::Random: return kMenuRandom;
    case PlayMode::Single: return kMenuSingle;
    case PlayMode::One: return kMenuOne;
    case PlayMode::Order: break;
  }
  return kMenuOrder;
}

bool MprisAccepts(const MprisProperty& property, const MprisValue& value) {
  if (!property.writable) return false;
  if (property.signature == "s") return std::holds_alternative<std::string>(value);
  if (property.signature == "b") return std::holds_alternative<bool>(value);
  if (property.signature == "d") return std::holds_alternative<double>(value);
  return false;
}

void SetMprisProperty(AppState& state, const MprisProperty& property, const MprisValue& value) {
  if (!MprisAccepts(property, value)) return;
  std::optional<PlayMode> mode;
  if (property.name == "LoopStatus") {
    mode = PlayModeForLoopStatus(state.playMode, std::get<std::string>(value));
  } else if (property.name == "Shuffle") {
    mode = PlayModeForShuffle(state.playMode, std::get<bool>(value));
  } else if (property.name == "Volume") {
    const double fraction = std::get<double>(value);
    if (std::isfinite(fraction)) SetVolume(state, static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * kVolumeMax)));
  } else if (property.name == "Rate") {
    // The one rate there is; a client asking for none means a pause.
    if (std::get<double>(value) == 0.0) OnHotKey(state, kKeyPause);
  }
  if (mode && *mode != state.playMode) HandleCommand(state, PlayModeMenuItem(*mode), 0);
}

std::span<const MprisMethod> MprisMethods() { return kMethods; }

const MprisMethod* FindMprisMethod(std::string_view interface, std::string_view name) {
  for (const MprisMethod& m : kMethods)
    if (m.interface == interface && m.name == name) return &m;
  return nullptr;
}

std::optional<std::string> MprisHandOffLine(const AppState& state, std::string_view uri) {
  if (uri.size() > kMprisMaxText) return std::nullopt;
  std::optional<std::string> path = LocalPathFromUri(uri);
  if (!path || path->size() >= PATH_MAX) return std::nullopt;
  return BuildHandOffLine({state.executablePath, *path}, state.instanceName, "/");
}

void RunMprisMethod(AppState& state, const MprisMethod& method, const MprisCall& call) {
  Window* window = state.platform.window;
  switch (method.action) {
    case MprisAction::Raise:
      if (window) window->ActivateMainWindow();
      return;
    case MprisAction::Quit:
      if (window) window->RequestClose();
      return;
    case MprisAction::Command:
      HandleCommand(state, method.command, 0);
      return;
    case MprisAction::PlayPause:
      OnHotKey(state, kKeyPlayPause);
      return;
    case MprisAction::Play:
      OnHotKey(state, kKeyPlay);
      return;
    case MprisAction::Pause:
      OnHotKey(state, kKeyPause);
      return;
    case MprisAction::Seek: {
      UpdateLengthSeconds(state);
      if (state.lengthSeconds <= 0) return;
      long long target = 0;
      if (__builtin_add_overflow(MprisPositionUs(state), call.number, &target))
        target = call.number > 0 ? std::numeric_limits<long long>::max() : 0;
      SeekToMilliseconds(state, std::max(0LL, target) / 1000);
      return;
    }
    case MprisAction::SetPosition: {
      if (!ValidIndex(state, state.currentIndex)) return;
      // A position for a track that is no longer current is stale.
      if (call.text != MprisTrackId(state.entries[state.currentIndex].path)) return;
      UpdateLengthSeconds(state);
      if (state.lengthSeconds <= 0 || call.number < 0 || call.number > state.lengthSeconds * 1'000'000LL) return;
      SeekToMilliseconds(state, call.number / 1000);
      return;
    }
    case MprisAction::OpenUri:
      if (std::optional<std::string> line = MprisHandOffLine(state, call.text)) {
        ReceiveHandOff(state, *line);
        HandleHandOff(state);
      }
      return;
  }
}

}  // namespace qel
