#include "core/fs/file_kind.h"
#include "core/settings/paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "core/fs/file_names.h"

namespace qel {
namespace {

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/tmp";
}

std::string XdgFolder(const char* variable, const char* fallbackBelowHome) {
  const char* v = std::getenv(variable);
  std::string base = (v && v[0] == '/') ? std::string(v) : HomeFolder() + fallbackBelowHome;
  return files::Join(base, "qel");
}

bool IsNamed(const std::string& instanceName) { return !instanceName.empty() && instanceName[0] == '-'; }

// An instance name becomes part of a file name: no folder may hide in it.
std::string SafeInstance(const std::string& instanceName) {
  std::string out = instanceName;
  for (char& c : out)
    if (c == '/' || c == '\0') c = '_';
  return out;
}

std::string Stem(const std::string& executablePath) {
  std::string stem(files::Stem(executablePath));
  return stem.empty() ? std::string("qel") : stem;
}

std::string ExecutableFolder(const std::string& executablePath) { return std::string(files::Folder(executablePath)); }

}  // namespace

std::string ConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }
std::string StateFolder() { return XdgFolder("XDG_STATE_HOME", "/.local/state"); }

bool IsPortable(const std::string& executablePath, const std::string& instanceName) {
  std::string folder = ExecutableFolder(executablePath);
  std::string stem = Stem(executablePath);
  if (IsRegularFile(files::Join(folder, stem + ".ini"))) return true;
  return IsNamed(instanceName) && IsRegularFile(files::Join(folder, stem + SafeInstance(instanceName) + ".ini"));
}

std::string IniPathFor(const std::string& executablePath, const std::string& instanceName) {
  std::string folder = IsPortable(executablePath, instanceName) ? ExecutableFolder(executablePath) : ConfigFolder();
  std::string stem = Stem(executablePath);
  if (IsNamed(instanceName)) {
    std::string own = files::Join(folder, stem + SafeInstance(instanceName) + ".ini");
    if (IsRegularFile(own)) return own;
  }
  return files::Join(folder, stem + ".ini");
}

std::string AutoPlaylistFolder(const std::string& executablePath, const std::string& instanceName) {
  return IsPortable(executablePath, instanceName) ? ExecutableFolder(executablePath) : StateFolder();
}

std::string AutoPlaylistPath(const std::string& executablePath, const std::string& instanceName) {
  std::string stem = Stem(executablePath);
  if (IsNamed(instanceName)) stem += SafeInstance(instanceName);
  return files::Join(AutoPlaylistFolder(executablePath, instanceName), stem + ".m3u8");
}

}  // namespace qel
