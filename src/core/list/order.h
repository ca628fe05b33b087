// The order of the entries: the comparison every sort uses, the sort
// command, moving the selected rows, removing them and selecting all. None
// of these touch files on disk; the current entry stays the same file.
#pragma once

#include "core/state.h"

namespace qel {

// Folder first, then base name, then extension, each in natural order with
// letter case ignored; folders that differ only in letter case follow each
// other, each whole; entries still equal then go by the exact path, so a
// sort always gives one result.
bool EntryLess(const ListEntry& a, const ListEntry& b);

// Sorts state.entries (rows untouched).
void SortEntries(AppState& state);

// Command 2900: sorts, keeps the current file current, renumbers, rebuilds
// the rows and asks timer 1 for the re-selection of the current row.
void SortList(AppState& state);

// Commands 2000 and 2100: the selected rows one place down or up, unless
// the selection already touches that edge.
void MoveSelectionDown(AppState& state);
void MoveSelectionUp(AppState& state);

// Command 1500: removes the selected rows; removing the current entry stops
// and closes the device, and its successor becomes current unstarted.
void RemoveFromList(AppState& state);

// Takes one entry and its row out of the list: lastIndex follows, a
// current entry after it moves up by one, and the current index stays
// within the list (the entry that took the current one's place becomes
// current).
void EraseEntryAndRow(AppState& state, int row);
// What the window lets go once the list is empty: the pane's pictures and
// the playing file's title.
void ReleaseEmptyList(AppState& state);

// Command 2800.
void SelectAll(AppState& state);
// The End key: the next play order in the cycle, then renumbering.
void CyclePlayMode(AppState& state);

}  // namespace qel
