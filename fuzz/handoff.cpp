// A second start's line and arguments: the running player's reading of a
// line of the fuzzer's bytes, and a command line split from them at NUL
// bytes, turned into the instance name, a remote command and the line that
// start would hand over. What it hands over must read back as its target.
#include "core/app/startup.h"
#include "core/app/window_rules.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  AppState state;
  state.instanceName = size && (data[0] & 1) ? "-work" : "qel";
  ReceiveHandOff(state, bytes);
  fuzz::Touch(HandOffTarget(state.handOffLine));

  Arguments args{"/usr/bin/qel"};
  for (size_t start = 0; start <= bytes.size();) {
    const size_t end = std::min(bytes.find('\0', start), bytes.size());
    args.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  const std::string name = InstanceNameFromArguments(args, "/usr/bin/qel");
  (void)RemoteCommandFromArguments(args);
  const std::string line = BuildHandOffLine(args, name, "/home/user");
  const std::string target = StartupTarget(args, "/home/user");
  AppState receiver;
  receiver.instanceName = name;
  ReceiveHandOff(receiver, line);
  if (HandOffTarget(receiver.handOffLine) != target) abort();
  return 0;
}
