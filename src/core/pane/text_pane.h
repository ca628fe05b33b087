// The pane's text and picture for an entry: its companion text or lyrics
// over its picture.
#pragma once

#include <string>
#include <string_view>

#include "core/state.h"

namespace qel {

// Companion texts larger than this are not read: no lyrics run to 16 MiB,
// and the pane would choke on them.
inline constexpr long long kMaxTextFileBytes = 16LL * 1024 * 1024;

// Refreshes the pane for a media file: the text beside it (".txt", ".doc",
// then ".lrc") or else its embedded lyrics, shown only when showText is on
// and faded picture under them; the picture beside it (".png", ".jpg",
// ".jpeg") or else its embedded cover. The caller has released the old
// pictures and lays the window out afterwards.
void ShowInPane(AppState& state, const std::string& path, bool showText);

// The pane for entry index: the old pictures released, the refresh, and a
// relayout so that the new picture is painted.
void ShowPaneEntry(AppState& state, int index);

// Lyrics as the pane shows them: text holding a CR LF stays as it is;
// otherwise every CR becomes CR LF (lone LFs are left alone).
std::string LyricsText(std::string_view lyrics);
// Puts lyrics into the pane.
void ShowLyrics(AppState& state, std::string_view lyrics);

// The pane's centred-text style after CenterText changed (40010).
void ApplyCenterText(AppState& state);

// Timer tick: marks the line of timed lyrics being sung at the position
// slider's place, when it changed.
void FollowSungLine(AppState& state);

}  // namespace qel
