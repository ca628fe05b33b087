// In-memory stand-ins for the seams. They record what the core sends and
// answer from what a test scripted; they decide nothing the core decides.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/fileops/posix_files.h"
#include "core/platform.h"
#include "core/state.h"

namespace qel::test {

class FakeDevice : public MediaDevice {
 public:
  struct Reply {
    int error = 0;
    std::string answer;
  };
  using MediaDevice::Send;

  int Send(const std::string& command, std::string* answer) override;

  // Scripted replies for an exact command string; the last one repeats.
  void On(const std::string& command, Reply reply) { script[command].push_back(reply); }
  // Consulted when no exact script matches; return false to fall through to
  // the default reply (0, "").
  std::function<bool(const std::string& command, Reply& reply)> responder;

  // Commands sent since the last Clear(), in order.
  std::vector<std::string> commands;
  void Clear() { commands.clear(); }
  bool Sent(const std::string& command) const;
  int Count(const std::string& command) const;

  std::vector<std::string> MidiOutputDevices() override { return midiDevices; }
  void SetMidiOutputVolume(int device, double volume) override { midiVolumes.push_back({device, volume}); }
  void SetWaveOutputVolume(double volume) override { waveVolumes.push_back(volume); }
  void SetReplayGain(ReplayGain mode) override { replayGains.push_back(mode); }
  std::vector<std::string> PlayableExtensions() override { return extensions; }

  std::vector<std::string> midiDevices{"Qel Synthesizer"};
  std::vector<std::pair<int, double>> midiVolumes;
  std::vector<double> waveVolumes;
  std::vector<ReplayGain> replayGains;
  std::vector<std::string> extensions{"mp3", "ogg", "flac", "wav", "m4a", "mp4", "mkv", "wma", "avi"};

 private:
  std::map<std::string, std::deque<Reply>> script;
};

class FakeWindow : public Window {
 public:
  struct Message {
    std::string text, caption;
    MessageIcon icon;
    MessageButtons buttons;
    bool owned;
  };

  int RowCount() override { return static_cast<int>(rows.size()); }
  void InsertRow(int at, const std::string& text) override;
  void DeleteRow(int at) override;
  void DeleteAllRows() override;
  void AddRow(const std::string& text) override { rows.push_back(text); }
  std::string RowText(int row) override;
  void ReserveRows(int count) override { reserved = count; }
  std::vector<int> SelectedRows() override { return {selected.begin(), selected.end()}; }
  void SetRowSelected(int row, bool on) override;
  void SetAllRowsSelected(bool on) override;
  int TopRow() override { return topRow; }
  void SetTopRow(int row) override { topRow = row; }
  int RowNearPoint(Point clientPoint, bool* outside) override;
  void RedrawList() override { ++listRedraws; }

  std::string Title() override { return title; }
  void SetTitle(const std::string& t) override {
    title = t;
    titles.push_back(t);
  }

  MessageResult ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                            MessageButtons buttons, bool owned) override;

  void SetPositionRange(int lo, int hi) override {
    positionMin = lo;
    positionMax = hi;
  }
  void SetPosition(int v) override { position = v; }
  int Position() override { return position; }
  void SetVolumeBar(int v) override { volumeBar = v; }
  int VolumeBar() override { return volumeBar; }
  void SetTimeText(const std::string& t) override { timeText = t; }

  void StartTimer(int ms) override {
    timerRunning = true;
    timerPeriod = ms;
  }
  void StopTimer() override { timerRunning = false; }
  void PostRelayout() override { ++relayouts; }

  void SetMenuCheck(int command, bool checked) override { menuChecks[command] = checked; }
  void SetButtonIcon(int button, int icon) override { buttonIcons[button] = icon; }
  unsigned NativeHandle(Control c) override { return 1000u + static_cast<unsigned>(c); }
  void ActivateMainWindow() override { ++activations; }
  void FocusMainWindow() override { ++focusTaken; }
  void ShowPaneScrollBar(bool shown) override { paneScrollBar = shown; }
  int VisibleRowCount() override { return rowHeight > 0 ? clientHeight / rowHeight : 0; }
  Control FocusedControl() override { return focus; }
  void ForwardKey(Control control, int key) override { forwardedKeys.push_back({control, key}); }
  void ShowButtonMenu(int button) override { buttonMenus.push_back(button); }
  void MinimizeMainWindow() override { ++minimizes; }
  void RequestClose() override { ++closeRequests; }
  void SetTopMost(bool on) override { topMost = on; }
  int ClientWidth() override { return mainClientWidth; }
  void MoveWindow(const Rect& r) override {
    windowRect = r;
    moves.push_back(r);
  }
  Rect WindowRect() override { return windowRect; }
  void SetControlFont(Control control, const std::string& face, int points, int style) override {
    fonts[control] = {face, points, style};
  }
  void SetCenterText(bool on) override { centerText = on; }
  void SetPaneText(const std::string& text) override {
    paneText = text;
    highlightedLine = -1;
  }
  void ShowPaneCaret(bool shown) override { paneCaret = shown; }
  void HighlightPaneLine(int line) override {
    highlightedLine = line;
    highlights.push_back(line);
  }
  std::optional<FontPick> FontDialog(const FontPick& preset) override {
    fontDialogs.push_back(preset);
    return fontDialogAnswer;
  }
  int PixelsPerInch() override { return pixelsPerInch; }
  std::optional<SaveChoice> SaveFileDialog(const std::string& title, const std::vector<FileFilter>& filters,
                                            const std::string& defaultExt, const std::string& initialDir,
                                            const std::string& initialName) override {
    saveDialogs.push_back({title, filters, defaultExt, initialDir, initialName});
    return saveDialogAnswer;
  }
  std::optional<std::string> OpenFileDialog(const std::vector<FileFilter>& filters) override {
    openDialogFilters.push_back(filters);
    return openDialogAnswer;
  }
  std::optional<std::string> FolderDialog(const std::string& title, const std::string& initialDir) override {
    folderDialogs.push_back({title, initialDir});
    if (whileDialogOpen) whileDialogOpen();
    return folderDialogAnswer;
  }
  std::optional<std::string> QueryDialog(QueryKind kind) override;
  std::optional<std::string> FileNameDialog(const std::string& name, size_t selectEnd,
                                            const std::function<bool(const std::string&)>& accept) override;
  // The video view.
  Rect PaneClientRect() override { return {0, 0, paneWidth, paneHeight}; }
  void PaintPaneBackground(const std::vector<Rect>& areas) override { paneBackgrounds.push_back(areas); }
  void SetWindowMode(WindowMode mode) override { windowModes.push_back(mode); }
  void ShowControls(bool shown) override { controlsShown = shown; }
  std::optional<Picture> VideoWindowPicture() override { return videoPicture; }
  // Runs while any of the modal dialogs above is open (the world goes on
  // while the user looks at one: a file may end meanwhile).
  std::function<void()> whileDialogOpen;
  // Filter and jump: the dialogs shown, and what the next ones answer (a
  // dialog without an answer is closed by its close box).
  std::vector<QueryKind> queryDialogs;
  std::deque<std::optional<std::string>> queryAnswers;
  // File names: each dialog shown (its name and selected part), and per
  // dialog what the user types and confirms with OK, one try after another
  // while the dialog refuses them; a dialog whose tries run out is
  // cancelled.
  std::vector<std::pair<std::string, std::string>> nameDialogs;
  std::deque<std::vector<std::string>> nameTyping;

  // Desktop shell: the open dialogs asked for and what they answer.
  std::vector<std::vector<FileFilter>> openDialogFilters;
  std::optional<std::string> openDialogAnswer;
  std::vector<std::pair<std::string, std::string>> folderDialogs;
  std::optional<std::string> folderDialogAnswer;

  // Rows, selection and view.
  std::vector<std::string> rows;
  std::set<int> selected;
  int topRow = 0;
  int reserved = 0;
  int listRedraws = 0;
  // List geometry used to answer RowNearPoint: fixed-height rows from topRow.
  int rowHeight = 16;
  int clientWidth = 200;
  int clientHeight = 320;

  std::string title = "Qel";
  std::vector<std::string> titles;  // every title set, in order
  std::vector<Message> messages;
  std::deque<MessageResult> messageAnswers;  // answers to the next boxes; Ok when empty

  int positionMin = 0, positionMax = 0, position = 0;
  int volumeBar = 0;
  std::string timeText;
  bool timerRunning = false;
  int timerPeriod = 0;
  int relayouts = 0;
  std::map<int, bool> menuChecks;
  std::map<int, int> buttonIcons;
  int activations = 0;
  int focusTaken = 0;
  // Playback and commands.
  bool paneScrollBar = true;
  Control focus = Control::MainWindow;
  std::vector<std::pair<Control, int>> forwardedKeys;
  std::vector<int> buttonMenus;
  int minimizes = 0;
  int closeRequests = 0;
  bool topMost = false;
  int mainClientWidth = 374;
  // Settings and playlists.
  struct FontChoice {
    std::string face;
    int points = 0;
    int style = 0;
  };
  struct SaveDialog {
    std::string title;
    std::vector<FileFilter> filters;
    std::string defaultExt, initialDir, initialName;
  };
  Rect windowRect;
  std::vector<Rect> moves;
  std::map<Control, FontChoice> fonts;
  bool centerText = false;
  // The pane's text, caret and marked line.
  std::string paneText;
  bool paneCaret = false;
  int highlightedLine = -1;
  std::vector<int> highlights;
  std::vector<FontPick> fontDialogs;      // presets, in order
  std::optional<FontPick> fontDialogAnswer;  // nothing: the user cancels
  int pixelsPerInch = 96;
  std::vector<SaveDialog> saveDialogs;
  std::optional<SaveChoice> saveDialogAnswer;  // what the next save dialogs answer
  // The video view: the pane's size, the background areas painted, the
  // window modes asked for, and what the video window shows.
  int paneWidth = 800, paneHeight = 600;
  std::vector<std::vector<Rect>> paneBackgrounds;
  std::vector<WindowMode> windowModes;
  bool controlsShown = true;
  std::optional<Picture> videoPicture;
};

class FakeDesktop : public Desktop {
 public:
  void AddRecentDocument(const std::string& path) override { recent.push_back(path); }
  void SetPowerRequests(bool system, bool display) override {
    powerSystem = system;
    powerDisplay = display;
    powerCalls.push_back({system, display});
  }
  void SetTaskbarProgress(long long done, long long total) override { progress.push_back({done, total}); }
  std::optional<double> MasterVolume() override { return master; }
  void SetMasterVolume(double v) override { master = v; }
  void SetBusyMarker(bool on) override {
    busy = on;
    busyCalls.push_back(on);
  }

  std::vector<std::string> recent;
  bool powerSystem = false, powerDisplay = false;
  std::vector<std::pair<bool, bool>> powerCalls;
  std::vector<std::pair<long long, long long>> progress;
  std::optional<double> master = 0.5;
  bool busy = false;
  std::vector<bool> busyCalls;
  void PutPictureOnClipboard(const Picture& picture) override { clipboardPictures.push_back(picture); }
  std::vector<Picture> clipboardPictures;
};

// The file manager's clipboard and properties, as the core hands them over.
class FakeFileManager : public FileManager {
 public:
  struct Clip {
    std::vector<std::string> paths;
    bool cut = false;
  };
  void PutFilesOnClipboard(const std::vector<std::string>& paths, bool cut) override { clips.push_back({paths, cut}); }
  void ShowFileProperties(const std::string& path) override { properties.push_back(path); }
  std::vector<Clip> clips;
  std::vector<std::string> properties;
};

// Reads only the dimensions of PNG data and answers a picture of that size
// filled with one colour; enough to observe what the core does with it.
class FakeImages : public ImageDecoder {
 public:
  std::optional<Picture> DecodeImageMemory(const std::vector<uint8_t>& bytes) override;
  int calls = 0;
};

// A player state wired to fresh fakes, and to the real file system with a
// home Trash of its own in a temporary folder.
struct FakePlayer {
  FakeDevice device;
  FakeWindow window;
  FakeDesktop desktop;
  FakeImages images;
  FakeFileManager fileManager;
  // A temporary folder of its own, removed with the player.
  struct Home {
    std::string path;
    Home();
    ~Home();
    Home(const Home&) = delete;
    Home& operator=(const Home&) = delete;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
  } home;
  PosixFileSystem files{home / "Trash"};
  AppState state;
  FakePlayer();
};

}  // namespace qel::test
