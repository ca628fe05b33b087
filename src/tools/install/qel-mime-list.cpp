// Prints the MIME types the player opens, one ";"-terminated list, for the
// launcher's MimeType line: each media type of the engine's table once, then
// the playlists.
#include <cstdio>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/media_types.h"

int main() {
  std::vector<std::string_view> ordered;
  std::set<std::string_view> seen;
  for (const auto& type : qel::engine::kMediaTypes)
    if (seen.insert(type.mime).second) ordered.push_back(type.mime);
  for (std::string_view mime : qel::engine::kPlaylistMimeTypes)
    if (seen.insert(mime).second) ordered.push_back(mime);
  std::string line;
  for (std::string_view mime : ordered) line.append(mime).push_back(';');
  std::fputs(line.c_str(), stdout);
  return 0;
}
