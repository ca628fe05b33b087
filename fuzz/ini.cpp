// The ini reader: a document of the fuzzer's bytes parsed, written back and
// parsed again (the second reading must give the same document), its
// values read as numbers and switches, and the whole settings loaded from
// it as a file.
#include "core/settings/ini.h"
#include "core/state.h"
#include "core/settings/settings.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const IniDocument doc = ParseIni(bytes);
  const std::string once = SerializeIni(doc);
  if (SerializeIni(ParseIni(once)) != once) abort();
  for (const char* key : {"Volume", "PlayMode", "NoExt", "ViewSize", "CaptureDir"})
    if (const std::optional<std::string> value = IniGet(doc, "UserSetting", key)) {
      (void)ParseIniNumber(*value, 0);
      (void)ParseIniSwitch(*value);
    }
  IniDocument edited = doc;
  IniSet(edited, "UserSetting", "nowPlaying", bytes.substr(0, 64));
  fuzz::Touch(SerializeIni(edited));

  static const std::string path = fuzz::ScratchFolder() + "/qel.ini";
  fuzz::WriteFile(path, bytes);
  AppState state;
  state.iniPath = path;
  LoadSettings(state, false);
  fuzz::Touch(state.settings.CaptureDir);
  fuzz::Touch(state.settings.IgnoreDir);
  return 0;
}
