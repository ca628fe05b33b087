// A PulseAudio daemon of the test's own, in a temporary folder: a null sink
// as the default sink and a native socket at <folder>/run/native, so that no
// test ever touches a sound server of the machine or of its user.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace qel::test {

class PrivatePulse {
 public:
  // folder must exist; the daemon's home, runtime folder and log live in it.
  explicit PrivatePulse(std::string folder) : folder_(std::move(folder)) {
    std::filesystem::create_directories(folder_ + "/home");
    std::filesystem::create_directories(RuntimeDir());
    std::filesystem::permissions(RuntimeDir(), std::filesystem::perms::owner_all);
    std::ofstream pa(folder_ + "/default.pa");
    pa << "load-module module-null-sink sink_name=qel_test_sink\n"
       << "load-module module-native-protocol-unix socket=" << Socket() << " auth-anonymous=1\n"
       << "set-default-sink qel_test_sink\n";
  }
  ~PrivatePulse() { Stop(); }
  PrivatePulse(const PrivatePulse&) = delete;
  PrivatePulse& operator=(const PrivatePulse&) = delete;

  std::string RuntimeDir() const { return folder_ + "/run"; }
  std::string Socket() const { return RuntimeDir() + "/native"; }
  std::string Server() const { return "unix:" + Socket(); }

  // Starts the daemon and waits (at most 10 s) until its socket takes
  // connections. On failure, error tells why, with the daemon's own log.
  bool Start(std::string* error) {
    Stop();
    std::vector<std::string> args = {"pulseaudio",
                                     "-n",
                                     "-F",
                                     folder_ + "/default.pa",
                                     "--daemonize=no",
                                     "--exit-idle-time=-1",
                                     "--disallow-exit",
                                     "--use-pid-file=no",
                                     "--disable-shm=yes",
                                     "--realtime=no",
                                     "--high-priority=no",
                                     "--log-target=newfile:" + folder_ + "/pulse.log"};
    // Its own home and runtime folder; an unreachable bus, so that it
    // neither meets a desktop's bus nor tries to launch one.
    std::vector<std::string> env = {"HOME=" + folder_ + "/home", "XDG_RUNTIME_DIR=" + RuntimeDir(),
                                    "PULSE_RUNTIME_PATH=" + RuntimeDir(),
                                    "DBUS_SESSION_BUS_ADDRESS=unix:path=" + folder_ + "/no-bus",
                                    "PATH=" + std::string(getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin")};
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      // A test that dies does not leave its daemon running.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      execvpe("pulseaudio", argv.data(), envp.data());
      _exit(127);
    }
    if (pid_ < 0) {
      pid_ = -1;
      if (error) *error = "could not fork for pulseaudio";
      return false;
    }
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        if (error)
          *error = WIFEXITED(status) && WEXITSTATUS(status) == 127
                       ? "pulseaudio is not installed (scripts/bootstrap installs it)"
                       : "pulseaudio exited at start:\n" + Log();
        return false;
      }
      if (Accepts()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (error) *error = "pulseaudio did not open " + Socket() + " within 10 s:\n" + Log();
    Stop();
    return false;
  }

  // An orderly end, or a kill when that takes too long.
  void Stop() { End(SIGTERM); }
  // The daemon dies at once, its socket file left behind.
  void Kill() { End(SIGKILL); }

  bool Running() const { return pid_ > 0; }
  // The daemon stops answering (SIGSTOP) while its sockets stay open, as a
  // hung server would; or answers again.
  void Freeze(bool frozen) {
    if (pid_ > 0) kill(pid_, frozen ? SIGSTOP : SIGCONT);
  }

  // pactl against this daemon; the output, stderr included.
  std::string Pactl(const std::string& args) const {
    std::string command = "PULSE_SERVER='" + Server() + "' pactl " + args + " 2>&1";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
      char buffer[512];
      size_t n;
      while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
      pclose(p);
    }
    return out;
  }

  // The raw volume units of every channel of the default sink, as pactl
  // prints them ("front-left: 16384 /  25% / ...").
  std::vector<unsigned> DefaultSinkUnits() const {
    std::vector<unsigned> units;
    std::string out = Pactl("get-sink-volume @DEFAULT_SINK@");
    std::istringstream words(out.substr(0, out.find('\n')));
    std::string word, previous;
    while (words >> word) {
      if (!previous.empty() && previous.back() == ':' && !word.empty() && isdigit(static_cast<unsigned char>(word[0])))
        units.push_back(static_cast<unsigned>(std::stoul(word)));
      previous = word;
    }
    return units;
  }

  std::string Log() const {
    std::ifstream in(folder_ + "/pulse.log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  bool Accepts() const {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = Socket();
    if (path.size() >= sizeof address.sun_path) {
      close(fd);
      return false;
    }
    path.copy(address.sun_path, path.size());
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
  }

  void End(int signal) {
    if (pid_ <= 0) return;
    kill(pid_, SIGCONT);  // a frozen daemon ends too
    kill(pid_, signal);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) != pid_) {
      if (std::chrono::steady_clock::now() > until) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
  }

  std::string folder_;
  pid_t pid_ = -1;
};

}  // namespace qel::test
