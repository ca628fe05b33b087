// Splitting a command string into words: blanks separate, runs of blanks
// count as one, a double-quoted word may hold blanks (paths with spaces)
// and, written twice, the double quote itself ("a""b" is the word a"b).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qel::engine {

struct Words {
  std::vector<std::string> items;
  bool unclosedQuote = false;
};

Words SplitCommand(const std::string& command);

// ASCII lower case; other bytes (UTF-8 of Japanese names) stay as they are.
std::string Lower(std::string text);
bool SameWord(const std::string& a, const char* b);

// A whole decimal number (optional sign); nullopt for anything else or an
// overflow of int.
std::optional<long long> ParseInteger(const std::string& text);

}  // namespace qel::engine
