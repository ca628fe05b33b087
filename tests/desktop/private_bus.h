// A dbus-daemon of the test's own, standing in for the session or system
// bus, and the event loop pumped until something has happened.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>
#include <fstream>
#include <functional>
#include <string>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qel::test {

struct BusDaemon {
  pid_t pid = -1;
  std::string address;
};

inline BusDaemon StartBus(const std::string& folder, const std::string& name) {
  const std::string config = folder + "/" + name + ".conf";
  std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                           "<busconfig>\n  <type>session</type>\n  <listen>unix:path="
                        << folder << "/" << name
                        << ".socket</listen>\n  <auth>EXTERNAL</auth>\n"
                           "  <policy context=\"default\">\n    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                           "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n";
  int out[2];
  if (pipe(out) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    close(out[0]);
    const int quiet = open("/dev/null", O_WRONLY);  // its notes about fd limits are no news here
    if (quiet >= 0) dup2(quiet, 2);
    const std::string print = "--print-address=" + std::to_string(out[1]);
    execlp("dbus-daemon", "dbus-daemon", ("--config-file=" + config).c_str(), "--nofork", print.c_str(),
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string address;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') address += c;
  close(out[0]);
  return {pid, address};
}

inline void StopBus(BusDaemon& bus) {
  if (bus.pid <= 0) return;
  kill(bus.pid, SIGTERM);
  waitpid(bus.pid, nullptr, 0);
  bus.pid = -1;
}

// Runs the event loop until `done` holds or `ms` have passed.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 3000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    usleep(1000);
  }
  return true;
}

inline void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

}  // namespace qel::test
