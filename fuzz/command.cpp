// The engine's command strings: split into words as the device does, each
// word read as a number and a verb, and answered as the device answers with
// nothing open. Words written back with quotes must split into the same
// words again.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  const std::string command(reinterpret_cast<const char*>(data), size);
  const engine::Words words = engine::SplitCommand(command);
  (void)engine::AnswerWithNothingOpen(words);
  std::string again;
  for (const std::string& word : words.items) {
    if (const std::optional<long long> n = engine::ParseInteger(word))
      if (std::to_string(*n).size() > word.size() + 1) abort();
    if (engine::Lower(word).size() != word.size()) abort();
    (void)engine::IsAliasVerb(word);
    (void)engine::SameWord(word, "status");
    again += " \"";
    for (char c : word) again += c == '"' ? std::string("\"\"") : std::string(1, c);
    again += '"';
  }
  if (!words.unclosedQuote && engine::SplitCommand(again).items != words.items) abort();
  return 0;
}
