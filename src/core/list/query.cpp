#include "core/list/query.h"

#include <vector>

#include "core/list/list.h"
#include "core/playback/device.h"

namespace qel {
namespace {

std::vector<std::string_view> SplitWords(std::string_view query) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < query.size()) {
    while (i < query.size() && query[i] == ' ') ++i;
    size_t start = i;
    while (i < query.size() && query[i] != ' ') ++i;
    if (i > start) words.push_back(query.substr(start, i - start));
  }
  return words;
}

bool IsOrKeyword(std::string_view word) {
  return word.size() == 2 && (word[0] == 'O' || word[0] == 'o') && (word[1] == 'R' || word[1] == 'r');
}

}  // namespace

bool MatchesQuery(std::string_view text, std::string_view query) {
  std::vector<std::string_view> words = SplitWords(query);
  if (!words.empty() && IsOrKeyword(words[0])) {
    for (size_t i = 1; i < words.size(); ++i)
      if (text.find(words[i]) != std::string_view::npos) return true;
    return false;
  }
  for (std::string_view word : words) {
    if (word[0] == '-') {
      // A lone "-" looks for the empty word, which every text contains.
      if (text.find(word.substr(1)) != std::string_view::npos) return false;
    } else if (text.find(word) == std::string_view::npos) {
      return false;
    }
  }
  return true;
}

std::string MatchText(const ListEntry& entry) {
  if (!entry.title.empty()) return entry.title;
  return std::string(FileNamePart(entry.path));
}

bool FilterList(AppState& state, const std::string& query) {
  if (query.empty()) return false;
  Window* window = state.platform.window;
  const int count = static_cast<int>(state.entries.size());
  std::string currentPath;
  if (state.currentIndex >= 0 && state.currentIndex < count) currentPath = state.entries[state.currentIndex].path;

  bool currentRemoved = false;
  for (int i = count - 1; i >= 0; --i) {
    if (MatchesQuery(MatchText(state.entries[i]), query)) continue;
    state.entries.erase(state.entries.begin() + i);
    if (window) window->DeleteRow(i);
    if (i == state.currentIndex) currentRemoved = true;
    else if (i < state.currentIndex) --state.currentIndex;
  }
  state.lastIndex = static_cast<int32_t>(state.entries.size()) - 1;

  if (state.entries.empty()) {
    // What was playing keeps playing; only the pane and title let go.
    state.currentIndex = -1;
    state.panePicture.reset();
    state.paneBackdrop.reset();
    state.savedTitle = "Qel";
  } else if (currentRemoved) {
    state.currentIndex = 0;
    RenumberPlayOrder(state, state.playMode, state.currentIndex);
    StopPlayback(state, state.lengthSeconds);
  } else {
    state.currentIndex = FindEntryByPath(state, currentPath);
    RenumberPlayOrder(state, state.playMode, state.currentIndex);
  }
  return true;
}

void AskForQuery(AppState& state, QueryKind kind) {
  Window* window = state.platform.window;
  if (!window) return;
  if (std::optional<std::string> answer = window->QueryDialog(kind)) state.queryText = std::move(*answer);
}

void FilterDialog(AppState& state) {
  AskForQuery(state, QueryKind::Filter);
  FilterList(state, state.queryText);
}

int JumpDialog(AppState& state) {
  AskForQuery(state, QueryKind::Jump);
  return FindJumpTarget(state, state.currentIndex, state.queryText);
}

int JumpToNextHit(AppState& state) { return FindJumpTarget(state, state.currentIndex, state.queryText); }

int FindJumpTarget(const AppState& state, int from, const std::string& query) {
  if (query.empty()) return -1;
  const int count = static_cast<int>(state.entries.size());
  for (int i = from + 1; i < count; ++i)
    if (i >= 0 && MatchesQuery(MatchText(state.entries[i]), query)) return i;
  for (int i = 0; i < from && i < count; ++i)
    if (MatchesQuery(MatchText(state.entries[i]), query)) return i;
  return -1;
}

}  // namespace qel
