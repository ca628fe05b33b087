#include "core/list/order.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "core/list/list.h"
#include "core/playback/order.h"
#include "core/text/natural.h"

namespace qel {
namespace {

struct PathParts {
  std::string_view folder, base, ext;
};

PathParts Split(std::string_view path) {
  size_t slash = path.rfind('/');
  std::string_view folder = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {folder, name, {}};
  return {folder, name.substr(0, dot), name.substr(dot)};
}

int CompareParts(const PathParts& a, const PathParts& b) {
  if (int c = NaturalCompare(a.folder, b.folder)) return c;
  // "Live" and "live" are two folders here: each keeps its files together.
  if (a.folder != b.folder) return a.folder < b.folder ? -1 : 1;
  if (int c = NaturalCompare(a.base, b.base)) return c;
  return NaturalCompare(a.ext, b.ext);
}

void SyncLastIndex(AppState& state) { state.lastIndex = static_cast<int32_t>(state.entries.size()) - 1; }

// Moves one row's text and its entry from `from` to the neighbouring `to`,
// keeping the current entry on the same file.
void SwapWithNeighbour(AppState& state, Window& window, int from, int to) {
  std::string text = window.RowText(from);
  window.DeleteRow(from);
  window.InsertRow(to, text);
  std::swap(state.entries[from], state.entries[to]);
  if (state.currentIndex == from) state.currentIndex = to;
  else if (state.currentIndex == to) state.currentIndex = from;
  window.SetRowSelected(to, true);
}

}  // namespace

bool EntryLess(const ListEntry& a, const ListEntry& b) {
  int c = CompareParts(Split(a.path), Split(b.path));
  return c != 0 ? c < 0 : a.path < b.path;
}

void SortEntries(AppState& state) {
  // The parts are found once per entry, not once per comparison.
  const size_t n = state.entries.size();
  std::vector<std::pair<PathParts, size_t>> keys;
  keys.reserve(n);
  for (size_t i = 0; i < n; ++i) keys.push_back({Split(state.entries[i].path), i});
  std::sort(keys.begin(), keys.end(), [&](const auto& x, const auto& y) {
    int c = CompareParts(x.first, y.first);
    return c != 0 ? c < 0 : state.entries[x.second].path < state.entries[y.second].path;
  });
  std::vector<ListEntry> sorted;
  sorted.reserve(n);
  for (const auto& key : keys) sorted.push_back(std::move(state.entries[key.second]));
  state.entries = std::move(sorted);
}

void SortList(AppState& state) {
  if (state.entries.empty()) return;
  const int count = static_cast<int>(state.entries.size());
  std::string currentPath;
  if (state.currentIndex >= 0 && state.currentIndex < count) currentPath = state.entries[state.currentIndex].path;
  SortEntries(state);
  state.currentIndex = FindEntryByPath(state, currentPath);
  RenumberPlayOrder(state, state.playMode, state.currentIndex);
  state.stopRows = false;
  RebuildRows(state);
  state.relayoutPending = true;
  if (Window* window = state.platform.window) window->StartTimer(100);
}

void MoveSelectionDown(AppState& state) {
  Window* window = state.platform.window;
  if (!window) return;
  std::vector<int> rows = window->SelectedRows();
  const int count = static_cast<int>(state.entries.size());
  if (rows.empty() || rows.back() >= count - 1) return;
  window->SetAllRowsSelected(false);
  for (auto it = rows.rbegin(); it != rows.rend(); ++it)
    if (*it >= 0) SwapWithNeighbour(state, *window, *it, *it + 1);
  RenumberPlayOrder(state, state.playMode, state.currentIndex);
}

void MoveSelectionUp(AppState& state) {
  Window* window = state.platform.window;
  if (!window) return;
  std::vector<int> rows = window->SelectedRows();
  const int count = static_cast<int>(state.entries.size());
  if (rows.empty() || rows.front() <= 0) return;
  window->SetAllRowsSelected(false);
  for (int row : rows)
    if (row < count) SwapWithNeighbour(state, *window, row, row - 1);
  RenumberPlayOrder(state, state.playMode, state.currentIndex);
}

void RemoveFromList(AppState& state) {
  Window* window = state.platform.window;
  if (!window) return;
  std::vector<int> rows = window->SelectedRows();
  if (rows.empty()) return;
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    const int row = *it;
    if (row < 0 || row >= static_cast<int>(state.entries.size())) continue;
    if (row == state.currentIndex) {
      if (MediaDevice* device = state.platform.device) {
        device->Send("stop " + state.mciAlias);
        device->Send("close " + state.mciAlias);
      }
      window->SetPosition(0);
      if (Desktop* desktop = state.platform.desktop) {
        desktop->SetTaskbarProgress(0, 100);
        // Nothing plays any more: nothing is kept awake for it.
        desktop->SetPowerRequests(false, false);
      }
    }
    EraseEntryAndRow(state, row);
  }
  if (state.entries.empty())
    ReleaseEmptyList(state);
  else
    RenumberPlayOrder(state, state.playMode, state.currentIndex);
}

void EraseEntryAndRow(AppState& state, int row) {
  if (row < 0 || row >= static_cast<int>(state.entries.size())) return;
  state.entries.erase(state.entries.begin() + row);
  if (Window* window = state.platform.window) window->DeleteRow(row);
  SyncLastIndex(state);
  if (row < state.currentIndex) --state.currentIndex;
  state.currentIndex = std::min(state.currentIndex, state.lastIndex);
}

void ReleaseEmptyList(AppState& state) {
  if (Window* window = state.platform.window) window->SetTitle("Qel");
  state.panePicture.reset();
  state.paneBackdrop.reset();
  state.savedTitle = "Qel";
}

void SelectAll(AppState& state) {
  if (Window* window = state.platform.window) window->SetAllRowsSelected(true);
}

void CyclePlayMode(AppState& state) {
  int next = static_cast<int>(state.playMode) + 1;
  if (next >= 5 || next < 1) next = 1;
  state.playMode = static_cast<PlayMode>(next);
  SetPlayMode(state, 0);
  state.menuShown = false;
  if (!state.entries.empty()) RenumberPlayOrder(state, state.playMode, state.currentIndex);
}

}  // namespace qel
