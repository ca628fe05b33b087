// AppState: the one record of a running player. Functions take it by
// reference, so tests build as many independent players as they like.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/fs/file_kind.h"
#include "core/lyrics_mark.h"
#include "core/platform.h"
#include "core/settings_keys.h"

namespace qel {

// One entry of the media list. Row i of the list box always shows entry i.
struct ListEntry {
  std::string path;   // full path, "/" separated
  std::string title;  // from the file's tags or the playlist's #EXTINF, or empty
  int32_t order = 0;  // place in the play sequence, 0-based
};

enum class PlayMode : int32_t { Order = 1, Random = 2, Single = 3, One = 4 };

struct AppState {
  Platform platform;

  // ---- start-up and instances
  std::string instanceName;     // "-name" token, or the executable's file name
  std::string executablePath;   // full path of the running program
  std::string handOffLine;      // a second start's line, as last received

  // ---- main window geometry and mouse
  Rect initialWindowRect, initialClientRect, initialListRect;
  int listMargin = 0;
  int bottomSpace = 0;
  int fullWidth = 0;
  int compactWidth = 0;
  bool listFull = false;
  bool splitterHot = false;
  bool splitterDragging = false;
  int dragAnchorRow = -1;
  Point lastMousePos{-1, -1};
  bool menuShown = false;
  bool relayoutPending = true;
  std::string savedTitle;
  Rect windowRect;
  int contextRow = 0;
  // ---- the pane's mouse: a press not yet followed by movement, and
  // whether the last single click paused playback
  bool paneClickArmed = false;
  bool pausedByClick = false;
  Point paneLastCursor;

  // ---- settings (ini keys); the live switches of the menus are these fields
  Settings settings;
  std::string iniPath;

  // ---- media list
  std::vector<ListEntry> entries;
  int32_t currentIndex = -1;
  int32_t lastIndex = -1;
  std::string nowDir;
  std::string mediaExtensions;
  bool rowsBusy = false;
  bool stopRows = false;
  std::string queryText;  // filter and jump query, shared by both
  // ---- media list: a fixed seed for the RANDOM shuffle (else the time)
  std::optional<uint32_t> shuffleSeed;

  // ---- playback
  std::string mciAlias;
  bool autoPlay = true;
  int32_t lengthSeconds = 0;
  // The file whose length lengthSeconds holds: measured once per entry,
  // not again on every command, while the file stays the same (see
  // UpdateLengthSeconds).
  std::optional<std::string> lengthPath;
  FileStamp lengthStamp;
  PlayMode playMode = PlayMode::Order;
  int32_t volume = 0;       // 0 to 1000
  int32_t midiDevice = -1;  // MIDI output device index, -1 for none
  int32_t screenMode = 0;
  // Seeks sent to the device so far: a watcher tells a jump of the
  // position from playback moving on.
  uint32_t seeks = 0;
  // ---- playback: state of the pseudo-random source of command 3700
  // (0: seeded from the clock at its first use)
  uint32_t randomJumpState = 0;

  // ---- file operations: where the folder dialogs of copy and move start
  // (the first copy or move of a run sets them; not saved)
  std::string copyStartDir;
  std::string moveStartDir;

  // ---- pane
  std::optional<Picture> panePicture;
  std::optional<Picture> paneBackdrop;
  // Counts the pictures the pane has taken, so that what is built from one
  // (the list's background) is built again only for a new one.
  uint64_t pictureSerial = 0;
  // Timed lyrics in the pane: when each line is sung, and the line marked.
  std::vector<LyricsMark> lyricsMarks;
  int sungLine = -1;
};

}  // namespace qel
