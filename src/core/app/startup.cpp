#include "core/fs/file_kind.h"
#include "core/app/startup.h"

#include <sys/stat.h>

#include <filesystem>

#include "core/text/encoding.h"

namespace qel {
namespace {

bool IsNameToken(const std::string& arg) { return !arg.empty() && arg[0] == '-'; }

std::string Normalize(const std::string& path) {
  std::string s = std::filesystem::path(path).lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
std::string CutUtf8(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = 0, pos = 0;
  while (pos < text.size()) {
    size_t next = pos;
    DecodeUtf8(text, &next);
    if (next > limit) break;
    end = pos = next;
  }
  return text.substr(0, end);
}

}  // namespace

std::string InstanceNameFromArguments(const Arguments& args, const std::string& executablePath) {
  if (args.size() < 2 || !IsNameToken(args[1])) return std::string(FileNamePart(executablePath));
  std::string name = args[1].substr(0, args[1].find(' '));
  // The name goes into file names (settings, auto-saved playlist, the
  // instance's socket): a "/" would reach into other folders.
  for (char& c : name)
    if (c == '/') c = '_';
  return CutUtf8(name, kMaxInstanceName);
}

int RemoteCommandFromArguments(const Arguments& args) {
  auto has = [&](const char* word) {
    for (size_t i = 1; i < args.size(); ++i)
      if (args[i] == word) return true;
    return false;
  };
  if (has("/Play")) return 1004;
  if (has("/Stop")) return 1006;
  if (has("/Next")) return 1008;
  return 0;
}

std::string StartupTarget(const Arguments& args, const std::string& workingDir) {
  if (args.size() < 2) return {};
  if (args.size() == 2 && IsNameToken(args[1])) return {};
  const std::string& target = IsNameToken(args[1]) ? args[2] : args[1];
  if (target.empty()) return {};
  if (target[0] == '/') return Normalize(target);
  return Normalize(JoinPath(workingDir.empty() ? "/" : workingDir, target));
}

std::string BuildHandOffLine(const Arguments& args, const std::string& instanceName, const std::string& workingDir) {
  std::string line;
  if (IsNameToken(instanceName)) line = instanceName;
  std::string target = StartupTarget(args, workingDir);
  if (target.empty()) return line;
  if (!line.empty()) line.push_back(' ');
  line += '"' + target + '"';
  return line;
}

StartupOpen ChooseStartupOpen(const Arguments& args, const std::string& workingDir,
                              const std::string& autoSavedPlaylist) {
  std::string target = StartupTarget(args, workingDir);
  if (!target.empty()) return {target, OpenKind::File};
  if (IsRegularFile(autoSavedPlaylist))
    return {autoSavedPlaylist, OpenKind::ResumedList};
  return {std::string(), OpenKind::File};
}

const std::vector<Accelerator>& AcceleratorTable() {
  static const std::vector<Accelerator> table = [] {
    const unsigned none = kNoModifier, ctrl = kCtrl, shift = kShift;
    std::vector<Accelerator> t = {
        {Key::Down, none, 1008},          {Key::Up, none, 1007},
        {Key::Enter, none, 13},           {Key::Space, none, 1004},
        {Key::Escape, none, 27},          {Key::Down, ctrl, 2000},
        {Key::Up, ctrl, 2100},            {Key::Delete, none, 1500},
        {Key::A, ctrl, 2800},             {Key::S, ctrl, 1600},
        {Key::NumAdd, none, 107},         {Key::NumSubtract, none, 109},
        {Key::NumMultiply, none, 106},    {Key::Tab, none, 3700},
        {Key::NumDecimal, none, 3700},    {Key::Backspace, none, 4000},
        {Key::Right, none, 4100},         {Key::Right, ctrl, 4300},
        {Key::Right, shift, 4200},        {Key::Right, ctrl | shift, 5000},
    };
    const Key digits[] = {Key::Num0, Key::Num1, Key::Num2, Key::Num3, Key::Num4,
                          Key::Num5, Key::Num6, Key::Num7, Key::Num8, Key::Num9};
    for (int n = 0; n < 10; ++n) t.push_back({digits[n], none, 41000 + n});
    const Accelerator rest[] = {
        {Key::Left, none, 4400},   {Key::Left, ctrl, 4600},    {Key::Left, shift, 4500},
        {Key::Left, ctrl | shift, 5100},
        {Key::PageUp, none, 33},   {Key::PageDown, none, 34},  {Key::Home, none, 36},
        {Key::End, none, 35},      {Key::Insert, none, 45},    {Key::Insert, shift, 1100},
        {Key::Insert, ctrl, 1200}, {Key::F10, none, 4700},     {Key::G, ctrl, 4700},
        {Key::F2, none, 4800},     {Key::F, ctrl, 4800},       {Key::F3, none, 4900},
        {Key::T, ctrl, 4900},      {Key::F5, none, 40014},     {Key::R, ctrl, 40014},
        {Key::F12, none, 40019},   {Key::W, ctrl, 40019},      {Key::F11, none, 40021},
        {Key::Q, ctrl, 40021},     {Key::C, ctrl, 40023},      {Key::X, ctrl, 40024},
        {Key::R, none, 40025},     {Key::S, none, 2900},
    };
    t.insert(t.end(), std::begin(rest), std::end(rest));
    return t;
  }();
  return table;
}

std::optional<int> CommandForKey(Key key, unsigned modifiers) {
  for (const Accelerator& a : AcceleratorTable())
    if (a.key == key && a.modifiers == modifiers) return a.command;
  return std::nullopt;
}

}  // namespace qel
