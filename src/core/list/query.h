// The small query language of the filter, the jump and saved searches:
// words separated by spaces, all of which must occur ("A B"), "-A" for a
// word that must not occur, and a leading "OR" for any of the words.
#pragma once

#include <string>
#include <string_view>

#include "core/state.h"

namespace qel {

// Case-sensitive substring tests; only the keyword "OR" ignores case. A query
// of no words matches every text; "OR" alone matches none.
bool MatchesQuery(std::string_view text, std::string_view query);

// What a query is matched against: the title, else the file name with its
// extension (NoExt does not apply).
std::string MatchText(const ListEntry& entry);

// Keeps only the entries that match (the filter's walk after its dialog).
// Returns false, changing nothing, for an empty query. Removing the current
// entry stops playback and makes the first remaining entry current.
bool FilterList(AppState& state, const std::string& query);

// Shows the filter or jump dialog and keeps its answer in queryText: the
// text on OK, "" on Cancel or Escape; closed otherwise, the old query stays.
void AskForQuery(AppState& state, QueryKind kind);

// Command 4700: the filter dialog, then the filter with its query.
void FilterDialog(AppState& state);
// Command 4800: the jump dialog, then the jump search from the current
// entry. The entry found, or -1.
int JumpDialog(AppState& state);
// Command 4900: the jump search with the query stored last, without a
// dialog. The entry found, or -1.
int JumpToNextHit(AppState& state);

// The next entry after `from` that matches, wrapping round to the start;
// never `from` itself. -1 when none does or the query is empty.
int FindJumpTarget(const AppState& state, int from, const std::string& query);

}  // namespace qel
