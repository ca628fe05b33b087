#include "tools/probe_common.h"

#include <limits.h>
#include <unistd.h>

#include <cstdio>

#include "core/settings/ini.h"
#include "core/settings/paths.h"
#include "core/text/encoding.h"

namespace qel::probe {

std::optional<Arguments> ParseArguments(int argc, char** argv) {
  Arguments args;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (options && a == "--") {
      options = false;
    } else if (options && a == "--titles") {
      args.titlesOnly = true;
    } else if (options && a.size() > 1 && a[0] == '-' && a[1] == '-') {
      args.files.clear();
      break;
    } else {
      args.files.push_back(a);
    }
  }
  if (args.files.empty()) {
    std::fprintf(stderr, "usage: qel-probe [--titles] FILE...\n");
    return std::nullopt;
  }
  return args;
}

std::string ExecutableFolder(const char* argv0) {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  std::string path = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string(argv0);
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

void ApplyUserCodePage(const std::string& folder) {
  std::string ini = IniPathFor(folder + "/qel", "");
  SetLegacyCodePage(ReadIniString(ini, "UserSetting", "AnsiCodePage", ""));
}

std::string Field(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

}  // namespace qel::probe
