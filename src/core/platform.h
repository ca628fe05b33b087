// The seams between the player's behaviour and the outside world.
//
// The core reaches the media device, the window with its controls, the
// desktop's services and the picture decoder only through these interfaces.
// The desktop layer implements them over Qt and the engine; tests implement
// them in memory to observe what the core sends. Nothing here decides a rule.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qel {

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Contains(Point p) const {  // edges included
    return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom;
  }
  bool operator==(const Rect&) const = default;
};

// A decoded picture: 32-bit BGRA, rows top-down, four bytes per pixel.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width * height * 4 bytes
  bool Empty() const { return width <= 0 || height <= 0; }
};

// Notification codes of the media device, as MCI numbers them.
constexpr int kNotifySuccessful = 1;
constexpr int kNotifySuperseded = 2;
constexpr int kNotifyAborted = 4;

// The command-string media device. Every command the player sends is a text
// such as "status qel mode"; the device answers with an error number (0 for
// success) and, for the commands that have one, an answer text. Notifications
// ("play ... notify") come back later on the user-interface thread, through
// the window, as a call of OnPlaybackNotify.
class MediaDevice {
 public:
  virtual ~MediaDevice() = default;
  virtual int Send(const std::string& command, std::string* answer) = 0;
  int Send(const std::string& command) { return Send(command, nullptr); }

  // The MIDI output devices, index 0 first, by product name.
  virtual std::vector<std::string> MidiOutputDevices() = 0;
  // Per-output volumes, 0.0 to 1.0: the MIDI device of the given index and the
  // wave (sampled audio) output.
  virtual void SetMidiOutputVolume(int device, double volume) = 0;
  virtual void SetWaveOutputVolume(double volume) = 0;
  // Extensions the device plays, lower case without the dot ("mp3", "flac").
  virtual std::vector<std::string> PlayableExtensions() = 0;
};

// Controls of the main window that the core names.
enum class Control {
  MainWindow,
  ListBox,     // 1001
  PaneEdit,    // 1014
  PositionBar, // 1009
  VolumeBar,   // 1010
  TimeLabel,
};

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageResult { Ok, Cancel, Yes, No };

// The main window as the core sees it: the rows of the list box, the title,
// message boxes, the sliders, the time read-out, timer 1, menus and buttons.
class Window {
 public:
  virtual ~Window() = default;

  // List box rows; row i always shows entry i.
  virtual int RowCount() = 0;
  virtual void InsertRow(int at, const std::string& text) = 0;
  virtual void DeleteRow(int at) = 0;
  virtual void DeleteAllRows() = 0;
  virtual void AddRow(const std::string& text) = 0;
  virtual std::string RowText(int row) = 0;
  virtual void ReserveRows(int count) = 0;
  virtual std::vector<int> SelectedRows() = 0;  // ascending
  virtual void SetRowSelected(int row, bool selected) = 0;
  virtual void SetAllRowsSelected(bool selected) = 0;
  virtual int TopRow() = 0;
  virtual void SetTopRow(int row) = 0;
  // The row nearest a point in the list's client coordinates; *outside tells
  // whether the point lies outside the list's client area. -1 when no rows.
  virtual int RowNearPoint(Point clientPoint, bool* outside) = 0;
  virtual void RedrawList() = 0;

  // Window title.
  virtual std::string Title() = 0;
  virtual void SetTitle(const std::string& title) = 0;

  // A modal message box. owned: owned by the main window (else no owner).
  virtual MessageResult ShowMessage(const std::string& text, const std::string& caption,
                                    MessageIcon icon, MessageButtons buttons, bool owned) = 0;

  // Position slider (tenths of a second) and volume slider (0 to 100).
  virtual void SetPositionRange(int minimum, int maximum) = 0;
  virtual void SetPosition(int value) = 0;
  virtual int Position() = 0;
  virtual void SetVolumeBar(int value) = 0;
  virtual int VolumeBar() = 0;
  virtual void SetTimeText(const std::string& text) = 0;

  // Timer 1: one timer, 100 ms while playing; restarting replaces it.
  virtual void StartTimer(int milliseconds) = 0;
  virtual void StopTimer() = 0;

  // Asks for the layout to be redone soon (posts a size message with the
  // current client size).
  virtual void PostRelayout() = 0;

  // Menu item check marks and button images by number.
  virtual void SetMenuCheck(int command, bool checked) = 0;
  virtual void SetButtonIcon(int button, int icon) = 0;

  // Native handles that the media device understands ("parent %u",
  // "window %s handle %u").
  virtual unsigned NativeHandle(Control control) = 0;

  virtual void ActivateMainWindow() = 0;
};

// Desktop services beside the window.
class Desktop {
 public:
  virtual ~Desktop() = default;
  virtual void AddRecentDocument(const std::string& path) = 0;
  // Continuous power requests; (false, false) clears every request.
  virtual void SetPowerRequests(bool keepSystemAwake, bool keepDisplayOn) = 0;
  // Progress shown on the taskbar or launcher entry: done out of total.
  virtual void SetTaskbarProgress(long long done, long long total) = 0;
  // The master volume of the default output, 0.0 to 1.0; nullopt without one.
  virtual std::optional<double> MasterVolume() = 0;
  virtual void SetMasterVolume(double volume) = 0;
};

// Picture decoding (first frame), for embedded covers and companion images.
class ImageDecoder {
 public:
  virtual ~ImageDecoder() = default;
  virtual std::optional<Picture> DecodeImageMemory(const std::vector<uint8_t>& bytes) = 0;
};

// The seams one running player (or one test) uses. Any of them may be null
// before the window exists; the core checks before use where that can happen.
struct Platform {
  MediaDevice* device = nullptr;
  Window* window = nullptr;
  Desktop* desktop = nullptr;
  ImageDecoder* images = nullptr;
};

}  // namespace qel
