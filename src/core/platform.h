// The seams between the player's behaviour and the outside world.
//
// The core reaches the media device, the window with its controls, the
// desktop's services and the picture decoder only through these interfaces.
// The desktop layer implements them over Qt and the engine; tests implement
// them in memory to observe what the core sends. Nothing here decides a rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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
constexpr int kNotifyFailure = 8;  // playback stopped by an error (the file became unreadable)

// How the loudness tags of files level them: not at all, each file to its
// own (track), or each album to its own with its files' differences kept.
enum class ReplayGain { Off, Track, Album };

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
  // Levels every file from its loudness tags from now on, the one playing
  // included.
  virtual void SetReplayGain(ReplayGain mode) = 0;
  // Extensions the device plays, lower case without the dot ("mp3", "flac").
  virtual std::vector<std::string> PlayableExtensions() = 0;
};

// A path as one word of a command string: in double quotes, a double quote
// inside it written twice (a"b.mp3 becomes "a""b.mp3"), as the device reads
// it back. Inline: the metadata readers use it and are built on their own
// (the fuzzing harnesses).
inline std::string QuotedPath(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// Controls of the main window that the core names.
enum class Control {
  MainWindow,
  ListBox,     // 1001
  PaneEdit,    // 1014
  PositionBar, // 1009
  VolumeBar,   // 1010
  TimeLabel,
};

// A font as the font dialog sees it.
struct FontPick {
  std::string face;
  int height = 0;  // pixels; negative means the character height
  int style = 0;   // 0x100 bold, 0x200 italic
};

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageResult { Ok, Cancel, Yes, No };

// One filter of a file dialog: its label and its pattern ("*.m3u8").
struct FileFilter {
  std::string label;
  std::string pattern;
};

// What the save dialog answers: the chosen full path and the index of the
// filter that was chosen with it.
struct SaveChoice {
  std::string path;
  int filter = 0;
};

// The two query dialogs: 129 (the filter) and 130 (the jump).
enum class QueryKind { Filter, Jump };

// How the main window stands on the screen.
enum class WindowMode { Normal, Maximized, FullScreen };

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
  // The main window itself takes the keyboard focus (no control has it),
  // so that keys such as Page Up reach it rather than the list.
  virtual void FocusMainWindow() = 0;

  // ---- playback and commands
  // The pane's vertical scroll bar: hidden while a video picture fills it.
  virtual void ShowPaneScrollBar(bool shown) = 0;
  // Whole rows that fit in the list's client area (client height / row height).
  virtual int VisibleRowCount() = 0;
  // Which control has the keyboard focus, and a key passed on to one.
  virtual Control FocusedControl() = 0;
  virtual void ForwardKey(Control control, int key) = 0;
  // The menu of button 1005 or 1011, top-left at the button's bottom-left.
  virtual void ShowButtonMenu(int button) = 0;
  virtual void MinimizeMainWindow() = 0;
  // The orderly close (the close message), as the Escape key asks for it.
  virtual void RequestClose() = 0;
  // Keeps the main window above all others (position and size unchanged).
  virtual void SetTopMost(bool on) = 0;
  // Width of the main window's client area in pixels.
  virtual int ClientWidth() = 0;

  // ---- settings and playlists
  // Moves and sizes the main window (screen pixels), keeping its z-order;
  // no check against the monitors.
  virtual void MoveWindow(const Rect& rect) = 0;
  // The main window's rectangle now; for a minimised window, its restored one.
  virtual Rect WindowRect() = 0;
  // The font of the list (ListBox) or the pane (PaneEdit): face name (empty:
  // the default face), size in points and style code; the list's row
  // height follows its font.
  virtual void SetControlFont(Control control, const std::string& face, int points, int style) = 0;
  // The desktop's font dialog, preset with the face (empty: the default
  // face), a pixel height (negative: character height) and the style bits
  // 0x100 bold, 0x200 italic. Nothing when cancelled.
  virtual std::optional<FontPick> FontDialog(const FontPick& preset) = 0;
  // Vertical pixels per logical inch of the display, for sizes in points.
  virtual int PixelsPerInch() = 0;
  // The pane's centred-text style.
  virtual void SetCenterText(bool on) = 0;
  // The pane's text, UTF-8 with CR LF between lines; a new text drops the
  // highlighted line and scrolls to the top.
  virtual void SetPaneText(const std::string& text) = 0;
  // The caret in the pane: shown while lyrics are in it.
  virtual void ShowPaneCaret(bool shown) = 0;
  // Marks one line of the pane's text (-1: none) and keeps it in view.
  virtual void HighlightPaneLine(int line) = 0;
  // The save dialog, owned by the main window; it asks before overwriting
  // and appends the chosen filter's extension (or defaultExt, for a filter
  // without one) to a name without one. Nothing when cancelled, else the
  // chosen full path and filter.
  virtual std::optional<SaveChoice> SaveFileDialog(const std::string& title, const std::vector<FileFilter>& filters,
                                                    const std::string& defaultExt, const std::string& initialDir,
                                                    const std::string& initialName) = 0;

  // ---- desktop shell
  // The open-file dialog, owned by the main window, the first filter
  // selected; the file must exist. Nothing when cancelled.
  virtual std::optional<std::string> OpenFileDialog(const std::vector<FileFilter>& filters) = 0;
  // The folder dialog with its title, starting at initialDir. Nothing when
  // cancelled.
  virtual std::optional<std::string> FolderDialog(const std::string& title, const std::string& initialDir) = 0;

  // ---- filter, jump and file operations
  // The filter or jump dialog, modal over the main window, its edit box
  // empty: the text on OK (possibly empty), "" on Cancel or Escape, nothing
  // when it was closed otherwise (the close box).
  virtual std::optional<std::string> QueryDialog(QueryKind kind) = 0;
  // The file-name dialog, modal: the edit box holds name with its first
  // selectEnd bytes selected. OK hands the typed name to accept, which tells
  // the user what is wrong with it and answers false to keep the dialog
  // open. The accepted name, or nothing when the dialog was cancelled.
  virtual std::optional<std::string> FileNameDialog(const std::string& name, size_t selectEnd,
                                                    const std::function<bool(const std::string&)>& accept) = 0;

  // ---- the video view
  // The pane's client area: (0, 0, width, height).
  virtual Rect PaneClientRect() = 0;
  // The parts of the pane that show the background colour around the video
  // picture; the whole pane when the last picture is to go.
  virtual void PaintPaneBackground(const std::vector<Rect>& areas) = 0;
  // The main window's frame and size: framed as the user sized it,
  // maximised, or without a frame over the whole monitor that holds it.
  virtual void SetWindowMode(WindowMode mode) = 0;
  // The buttons, the time label, both sliders and the list, and the pane's
  // sunken edge: hidden in full screen, shown again after it.
  virtual void ShowControls(bool shown) = 0;
  // The pixels the video window shows now, at its size; nothing without a
  // video picture.
  virtual std::optional<Picture> VideoWindowPicture() = 0;
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

  // ---- settings and playlists
  // The "saving a playlist" marker of the single-instance service: while it
  // is set, a second start tells its user to wait instead of handing over.
  virtual void SetBusyMarker(bool on) = 0;

  // ---- frame capture
  // Puts a copy of the picture on the clipboard as an image.
  virtual void PutPictureOnClipboard(const Picture& picture) = 0;
};

// What a file operation came to. Exists: the target name was taken, and
// nothing was done.
enum class FileOutcome { Done, Exists, Failed };

// The file system as the file operations use it. Nothing here ever replaces
// or truncates a file that is there, and a failure leaves the source as it
// was and nothing under the target name.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Whether anything (a file, a folder, a link, a broken link) has the name.
  virtual bool Exists(const std::string& path) = 0;
  // A copy of a file under a name that is free.
  virtual FileOutcome CopyNoReplace(const std::string& from, const std::string& to) = 0;
  // Moves a file to a name that is free: a rename on one file system; across
  // file systems a copy complete on disk, and only then the source removed.
  virtual FileOutcome MoveNoReplace(const std::string& from, const std::string& to) = 0;
  // One new folder; true when the folder is there afterwards.
  virtual bool MakeFolder(const std::string& path) = 0;
  // Moves a file to the Trash of its own file system; false, the file left
  // where it was, when no Trash can take it.
  virtual bool MoveToTrash(const std::string& path) = 0;
};

// The desktop's file manager: the clipboard's file list and the properties
// of a file.
class FileManager {
 public:
  virtual ~FileManager() = default;
  // Puts the files on the clipboard for a file manager to paste: as a copy,
  // or as a move when cut.
  virtual void PutFilesOnClipboard(const std::vector<std::string>& paths, bool cut) = 0;
  // Shows the file manager's properties of the file; nothing when no file
  // manager answers.
  virtual void ShowFileProperties(const std::string& path) = 0;
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
  FileSystem* files = nullptr;
  FileManager* fileManager = nullptr;
};

}  // namespace qel
