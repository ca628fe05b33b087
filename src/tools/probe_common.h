// What both halves of qel-probe share: the arguments, the user's legacy
// code page, and the one-line output format.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qel::probe {

struct Arguments {
  bool titlesOnly = false;
  std::vector<std::string> files;
};

// "[--titles] [--] FILE..."; nothing (after a usage line on standard
// error) for anything else.
std::optional<Arguments> ParseArguments(int argc, char** argv);

// The folder this program was started from.
std::string ExecutableFolder(const char* argv0);

// Applies AnsiCodePage from the player's ini file (the one the player
// beside this program reads), so that old tags read as they do in the list.
void ApplyUserCodePage(const std::string& folder);

// A field of an output line: tabs, line breaks and backslashes written as
// \t, \n, \r and \\, so that one file is always one line of tab-separated
// fields, whatever its path or title holds.
std::string Field(std::string_view text);

}  // namespace qel::probe
