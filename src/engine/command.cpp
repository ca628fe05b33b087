#include "engine/command.h"

#include <cerrno>
#include <cstdlib>

namespace qel::engine {

Words SplitCommand(const std::string& command) {
  Words words;
  size_t i = 0;
  const size_t n = command.size();
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (i < n) {
    while (i < n && blank(command[i])) ++i;
    if (i >= n) break;
    std::string word;
    if (command[i] == '"') {
      // Inside quotes a doubled quote stands for one, so a path may hold
      // the quote character itself.
      bool closed = false;
      for (++i; i < n; ++i) {
        if (command[i] != '"') {
          word += command[i];
        } else if (i + 1 < n && command[i + 1] == '"') {
          word += '"';
          ++i;
        } else {
          closed = true;
          ++i;
          break;
        }
      }
      if (!closed) words.unclosedQuote = true;
    } else {
      while (i < n && !blank(command[i])) word += command[i++];
    }
    words.items.push_back(std::move(word));
  }
  return words;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool SameWord(const std::string& a, const char* b) { return Lower(a) == b; }

std::optional<long long> ParseInteger(const std::string& text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (i >= text.size()) return std::nullopt;
  for (size_t k = i; k < text.size(); ++k)
    if (text[k] < '0' || text[k] > '9') return std::nullopt;
  errno = 0;
  long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (errno == ERANGE || v > 2147483647LL || v < -2147483648LL) return std::nullopt;
  return v;
}

bool IsAliasVerb(const std::string& verb) {
  static const char* const kVerbs[] = {"close", "status", "set",   "where", "window", "put",
                                       "setaudio", "play", "pause", "resume", "seek",  "stop"};
  const std::string v = Lower(verb);
  for (const char* known : kVerbs)
    if (v == known) return true;
  return false;
}

std::optional<int> AnswerWithNothingOpen(const Words& words) {
  if (words.unclosedQuote) return kErrNoClosingQuote;
  if (words.items.empty()) return kErrMissingCommandString;
  const std::vector<std::string>& w = words.items;
  if (SameWord(w[0], "open")) return std::nullopt;
  if (w.size() < 2) return kErrMissingDeviceName;
  if (SameWord(w[0], "close") && SameWord(w[1], "all")) return 0;
  if (!IsAliasVerb(w[0])) return kErrUnrecognizedCommand;
  return kErrInvalidDeviceName;
}

}  // namespace qel::engine
