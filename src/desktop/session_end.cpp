#include "desktop/session_end.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qel::desktop {
namespace {

// A signal handler may only write: the byte wakes the event loop, which
// runs the close where everything else runs.
int signalPipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

void OnSignalCaught(int) {
  const int saved = errno;
  const char byte = 1;
  (void)!write(signalPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

SessionEnd::SessionEnd(std::function<bool()> onEnd, QObject* parent) : QObject(parent), onEnd_(std::move(onEnd)) {
  if (signalPipe[0] < 0 && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0) {
    signalPipe[0] = signalPipe[1] = -1;
  }
  if (signalPipe[0] >= 0) {
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SessionEnd::OnSignal);
    struct sigaction action {};
    action.sa_handler = OnSignalCaught;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals) sigaction(signal, &action, nullptr);
  }
  // The session manager's "die" reaches the application as a quit that the
  // window system sent; the player closes in order instead.
  QCoreApplication::instance()->installEventFilter(this);
}

SessionEnd::~SessionEnd() {
  QCoreApplication::instance()->removeEventFilter(this);
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals) sigaction(signal, &action, nullptr);
}

void SessionEnd::OnSignal() {
  char buffer[64];
  while (read(signalPipe[0], buffer, sizeof buffer) > 0) {
  }
  onEnd_();
}

bool SessionEnd::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Quit && watched == QCoreApplication::instance() && event->spontaneous())
    return onEnd_();
  return false;
}

}  // namespace qel::desktop
