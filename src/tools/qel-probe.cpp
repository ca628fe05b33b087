// qel-probe FILE...: what the player reads out of each file, one line each:
//   path TAB title TAB seconds TAB lyrics characters TAB WIDTHxHEIGHT or -
// With --titles only path TAB title, through the folder scan's own reader.
// Tabs, line breaks and backslashes in a field are written as \t, \n, \r
// and \\. Old tags are read in the code page the player's ini file names.
//
// The title path needs nothing but the readers, so this program links the
// core alone and starts at once; the full listing decodes covers with Qt
// and measures lengths with the media engine, and is left to
// qel-probe-media beside it.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "core/metadata/metadata.h"
#include "tools/probe_common.h"

int main(int argc, char** argv) {
  auto args = qel::probe::ParseArguments(argc, argv);
  if (!args) return 2;
  const std::string folder = qel::probe::ExecutableFolder(argv[0]);
  if (!args->titlesOnly) {
    const std::string media = folder + "/qel-probe-media";
    execv(media.c_str(), argv);
    std::fprintf(stderr, "qel-probe: %s: cannot run it; --titles works without it\n", media.c_str());
    return 2;
  }
  qel::probe::ApplyUserCodePage(folder);
  for (const std::string& f : args->files) {
    std::string line = qel::probe::Field(f) + '\t' + qel::probe::Field(qel::ReadTitle(f)) + '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
