#include "core/pane/text_pane.h"

#include <optional>

#include "core/fs/atomic_file.h"
#include "core/fs/companion.h"
#include "core/metadata/metadata.h"
#include "core/pane/lrc.h"
#include "core/pane/picture.h"
#include "core/pane/text_file.h"

namespace qel {
namespace {

// The whole of a regular file of at most kMaxTextFileBytes; nothing when it
// cannot be read (the text is then treated as absent) or is larger.
std::optional<std::string> ReadTextBytes(const std::string& path) {
  std::string bytes;
  bool cut = false;
  if (ReadRegularFile(path, kMaxTextFileBytes, &bytes, &cut) != ReadResult::Read || cut) return std::nullopt;
  return bytes;
}

}  // namespace

std::string LyricsText(std::string_view lyrics) {
  if (lyrics.find("\r\n") != std::string_view::npos) return std::string(lyrics);
  std::string out;
  out.reserve(lyrics.size() + 16);
  for (char c : lyrics) {
    if (c == '\r')
      out += "\r\n";
    else
      out += c;
  }
  return out;
}

void ShowLyrics(AppState& state, std::string_view lyrics) {
  if (Window* window = state.platform.window) window->SetPaneText(LyricsText(lyrics));
}

void ShowInPane(AppState& state, const std::string& path, bool showText) {
  Window* window = state.platform.window;
  if (window) window->SetPaneText("");
  state.lyricsMarks.clear();
  state.sungLine = -1;

  const std::optional<std::string> textFile = CompanionText(path);
  const std::optional<std::string> pictureFile = CompanionPicture(path);
  // A picture beside the file always wins over the embedded one, so the
  // embedded one is not even decoded then.
  MediaInfo info = ReadLyricsAndPicture(state, path, !pictureFile);
  state.panePicture = AcceptPicture(std::move(info.picture));
  if (pictureFile) {
    state.panePicture.reset();
    state.paneBackdrop.reset();
    state.panePicture = DecodeImageFile(state, *pictureFile);
  }
  ++state.pictureSerial;

  bool lyricsShown = false, textShown = false;
  if (!textFile) {
    if (showText && !info.syncedLyrics.empty()) {
      // Timed by the file itself: shown and followed as a ".lrc" is.
      std::vector<TimedLine> lines;
      lines.reserve(info.syncedLyrics.size());
      for (SyncedLine& line : info.syncedLyrics) lines.push_back({std::move(line.words), {line.ms}});
      TimedLyrics timed = OrderTimedLines(lines);
      if (window) window->SetPaneText(timed.text);
      state.lyricsMarks = std::move(timed.marks);
      textShown = true;
    } else if (showText && !info.lyrics.empty()) {
      ShowLyrics(state, info.lyrics);
      lyricsShown = true;
    }
  } else if (showText) {
    // Text that is read but never shown changes nothing: only a shown text
    // is read at all.
    if (const std::optional<std::string> bytes = ReadTextBytes(*textFile)) {
      const TextEncoding encoding = DetectTextEncoding(*bytes);
      if (encoding != TextEncoding::NotText) {
        std::string text = DecodeTextFile(*bytes, encoding);
        if (IsTimedLyricsFile(*textFile)) {
          TimedLyrics timed = ParseLrc(text);
          text = std::move(timed.text);
          state.lyricsMarks = std::move(timed.marks);
        }
        if (window) window->SetPaneText(text);
        textShown = true;
      }
    }
  }
  // The pane draws its own copy, faded under words; copying and fading in
  // one pass spares a walk over a large cover.
  if (!state.panePicture)
    state.paneBackdrop.reset();
  else if (lyricsShown || textShown)
    state.paneBackdrop = FadedCopy(*state.panePicture);
  else
    state.paneBackdrop = *state.panePicture;
  if (window) window->ShowPaneCaret(lyricsShown);
}

void ShowPaneEntry(AppState& state, int index) {
  if (index < 0 || index >= static_cast<int>(state.entries.size())) return;
  state.panePicture.reset();
  state.paneBackdrop.reset();
  ShowInPane(state, state.entries[static_cast<size_t>(index)].path, state.settings.ShowText);
  if (Window* window = state.platform.window) {
    // The rows stand over the old picture, and the pane shows it, until
    // both are drawn again.
    if (state.settings.ShowBitmapList) window->RedrawList();
    window->PostRelayout();
  }
}

void ApplyCenterText(AppState& state) {
  if (Window* window = state.platform.window) window->SetCenterText(state.settings.CenterText);
}

void FollowSungLine(AppState& state) {
  if (state.lyricsMarks.empty()) return;
  Window* window = state.platform.window;
  if (!window) return;
  const int line = SungLine(state.lyricsMarks, static_cast<long long>(window->Position()) * 100);
  if (line == state.sungLine) return;
  state.sungLine = line;
  window->HighlightPaneLine(line);
}

}  // namespace qel
