// Splitting a command string into words: blanks separate, runs of blanks
// count as one, a double-quoted word may hold blanks (paths with spaces)
// and, written twice, the double quote itself ("a""b" is the word a"b).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qel::engine {

// MCI error numbers the engine answers with.
constexpr int kErrInvalidDeviceId = 257;
constexpr int kErrUnrecognizedKeyword = 259;
constexpr int kErrUnrecognizedCommand = 261;
constexpr int kErrHardware = 262;
constexpr int kErrInvalidDeviceName = 263;  // alias not open
constexpr int kErrDeviceOpen = 265;         // init of an output failed
constexpr int kErrMissingCommandString = 267;
constexpr int kErrBadInteger = 270;
constexpr int kErrMissingParameter = 273;
constexpr int kErrUnsupportedFunction = 274;
constexpr int kErrFileNotFound = 275;
constexpr int kErrOutOfRange = 282;
constexpr int kErrDuplicateAlias = 289;
constexpr int kErrBadConstant = 290;
constexpr int kErrMissingDeviceName = 292;
constexpr int kErrNoClosingQuote = 294;
constexpr int kErrInvalidFile = 296;
constexpr int kErrExtraCharacters = 305;

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

// The verbs that act on an open alias ("status", "play", ...); words[1] names it.
bool IsAliasVerb(const std::string& verb);

// What a command answers while no alias is open, or nullopt for "open",
// which needs the engine. The engine answers so; so does the program before
// it has loaded the engine, since nothing can be open then.
std::optional<int> AnswerWithNothingOpen(const Words& words);

}  // namespace qel::engine
