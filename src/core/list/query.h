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

// The next entry after `from` that matches, wrapping round to the start;
// never `from` itself. -1 when none does or the query is empty.
int FindJumpTarget(const AppState& state, int from, const std::string& query);

}  // namespace qel
