#include "desktop/instance.h"

#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace qel::desktop {
namespace {

// A message: kind, 4-byte length (little-endian), payload. The answer is one
// byte once the running player has acted on it ('1'), or has given it back
// ('0': withdrawn; '2': too long). A second start that gives up waiting
// withdraws its message with the byte 'X'.
constexpr size_t kHeader = 5;
constexpr char kDone = '1', kGivenBack = '0', kTooLong = '2', kWithdraw = 'X';
// How long a start that withdrew waits for the player to say whether it
// had already begun.
constexpr std::chrono::milliseconds kWithdrawWait{2000};

using Clock = std::chrono::steady_clock;

// A private folder at path, made when missing: checked on the opened folder,
// never through a link.
bool PrivateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  const bool own = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
                   ((st.st_mode & 0077) == 0 || fchmod(fd, 0700) == 0);
  close(fd);
  return own;
}

// The user's cache folder, when it is there or can be made.
std::string CacheFolder() {
  std::string cache;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && xdg[0] == '/') cache = xdg;
  else if (const char* home = std::getenv("HOME"); home && home[0] == '/') cache = std::string(home) + "/.cache";
  if (cache.empty() || (mkdir(cache.c_str(), 0700) != 0 && errno != EEXIST)) return {};
  return cache;
}

// Readable (or hung up) before the deadline.
bool WaitReadable(int fd, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    const int n = poll(&p, 1, static_cast<int>(left));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::string FileSafe(const std::string& name) {
  // sockaddr_un holds about 107 bytes: long names go by their hash.
  if (name.size() <= 60) return name;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "h%016zx", std::hash<std::string>{}(name));
  return buffer;
}

std::string InFolder(const std::string& name, const char* suffix) {
  const std::string folder = InstanceFolder();
  return folder.empty() ? std::string() : folder + "/" + FileSafe(name) + suffix;
}

bool Address(const std::string& path, sockaddr_un* address) {
  if (path.empty() || path.size() >= sizeof address->sun_path) return false;
  *address = sockaddr_un{};
  address->sun_family = AF_UNIX;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// A connected socket to whoever listens on path, or -1.
int ConnectTo(const std::string& path) {
  sockaddr_un address;
  if (!Address(path, &address)) return -1;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int result;
  do result = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  while (result != 0 && errno == EINTR);
  if (result != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

enum class Delivery { Answered, Busy, Lost, GivenBack, TooLong, Pending };

// The player's one-byte answer, or Lost when the connection ended first.
Delivery ReadAnswer(int fd) {
  char answer = 0;
  ssize_t n;
  do n = read(fd, &answer, 1);
  while (n < 0 && errno == EINTR);
  if (n != 1) return Delivery::Lost;
  if (answer == kGivenBack) return Delivery::GivenBack;
  if (answer == kTooLong) return Delivery::TooLong;
  return Delivery::Answered;
}

Delivery Deliver(int fd, const std::string& name, char kind, const std::string& payload,
                 Clock::time_point deadline) {
  // A hand-off during a save would wait for the whole save: the user is
  // told to try again instead. A command waits the save out.
  if (kind == 'H' && access(InstanceBusyPath(name).c_str(), F_OK) == 0) return Delivery::Busy;
  std::string message(1, kind);
  const uint32_t size = static_cast<uint32_t>(payload.size());
  for (int i = 0; i < 4; ++i) message.push_back(static_cast<char>((size >> (8 * i)) & 0xff));
  message += payload;
  if (!WriteAll(fd, message.data(), message.size())) return Delivery::Lost;
  if (WaitReadable(fd, deadline)) return ReadAnswer(fd);
  // Waited long enough (the player shows a dialog): asked to give it back.
  // It answers at once unless it has begun acting on it, and then when it
  // is done.
  if (!WriteAll(fd, &kWithdraw, 1)) return ReadAnswer(fd);
  if (WaitReadable(fd, Clock::now() + kWithdrawWait)) return ReadAnswer(fd);
  return Delivery::Pending;
}

}  // namespace

std::string InstanceFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
    const std::string folder = std::string(runtime) + "/qel";
    if (PrivateFolder(folder)) return folder;
  }
  // /tmp is everybody's: another user may have taken the name first, and
  // the player then keeps its socket among its own files instead.
  const std::string uid = std::to_string(getuid());
  if (const std::string folder = "/tmp/qel-" + uid; PrivateFolder(folder)) return folder;
  if (const std::string cache = CacheFolder(); !cache.empty())
    if (const std::string folder = cache + "/qel-" + uid; PrivateFolder(folder)) return folder;
  return {};
}

std::string SendOutcomeMessage(SendOutcome outcome) {
  switch (outcome) {
    case SendOutcome::NoInstance:
    case SendOutcome::Handled: return {};
    case SendOutcome::Busy: return "現在処理中です。\nしばらく待ってから再実行してください。";
    case SendOutcome::Refused:
      return "実行中の Qel が応答しません（ダイアログの表示中か処理中です）。\n"
             "何も渡していません。しばらく待ってから再実行してください。";
    case SendOutcome::Unanswered:
      return "実行中の Qel が応答しません。\n渡した内容が処理されるかどうか確認できませんでした。";
    case SendOutcome::Closing:
      return "実行中の Qel が終了処理中です。\n何も渡していません。しばらく待ってから再実行してください。";
    case SendOutcome::TooLong: return "パスが長すぎるため開けません。";
    case SendOutcome::NoFolder:
      return "Qel の起動を確認するための専用フォルダを用意できません。\n"
             "XDG_RUNTIME_DIR か /tmp、キャッシュフォルダの所有者と権限を確認してください。";
  }
  return {};
}

std::string InstanceSocketPath(const std::string& name) { return InFolder(name, ".sock"); }
std::string InstanceLockPath(const std::string& name) { return InFolder(name, ".lock"); }
std::string InstanceBusyPath(const std::string& name) { return InFolder(name, ".busy"); }

// ---- the lock

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) close(fd_);
}

InstanceLock InstanceLock::TryTake(const std::string& name) {
  InstanceLock lock;
  const std::string path = InstanceLockPath(name);
  if (path.empty()) return lock;
  // The file itself stays: removing it would let two starts lock two
  // different files of one name.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return lock;
  int result;
  do result = flock(fd, LOCK_EX | LOCK_NB);
  while (result != 0 && errno == EINTR);
  if (result != 0) {
    close(fd);
    return lock;
  }
  lock.fd_ = fd;
  return lock;
}

// ---- a second start

SendOutcome SendToRunningInstance(const std::string& name, char kind, const std::string& payload,
                                  InstanceLock* lock, std::chrono::milliseconds patience) {
  if (payload.size() > kMaxInstanceMessage) return SendOutcome::TooLong;
  const std::string path = InstanceSocketPath(name);
  sockaddr_un unused;
  // Without a private folder no player can be found, nor this one found:
  // two of one name would run unaware of each other.
  if (!Address(path, &unused)) return SendOutcome::NoFolder;
  const Clock::time_point deadline = Clock::now() + patience;
  for (;;) {
    if (const int fd = ConnectTo(path); fd >= 0) {
      const Delivery delivery = Deliver(fd, name, kind, payload, deadline);
      close(fd);
      switch (delivery) {
        case Delivery::Answered: return SendOutcome::Handled;
        case Delivery::Busy: return SendOutcome::Busy;
        case Delivery::GivenBack: return SendOutcome::Refused;
        case Delivery::TooLong: return SendOutcome::TooLong;
        case Delivery::Pending: return SendOutcome::Unanswered;
        case Delivery::Lost: break;  // closed before acting on it: this start may be the next
      }
    } else if (InstanceLock taken = InstanceLock::TryTake(name); taken.Held()) {
      if (lock) *lock = std::move(taken);
      return SendOutcome::NoInstance;
    }
    // The name's holder is starting up or closing.
    if (Clock::now() >= deadline) return SendOutcome::Closing;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// ---- the running player

struct InstanceServer::Connection {
  int fd = -1;
  QSocketNotifier* notifier = nullptr;
  std::string buffer;
  bool handed = false;   // the whole message is in and waits its turn
  bool started = false;  // its turn came: it can no longer be given back
  ~Connection() {
    // It may be in the middle of its own signal.
    notifier->setEnabled(false);
    notifier->deleteLater();
    close(fd);
  }
};

InstanceServer::InstanceServer(Handler handler, QObject* parent) : QObject(parent), handler_(std::move(handler)) {}

InstanceServer::~InstanceServer() { Close(); }

bool InstanceServer::Listen(const std::string& name, InstanceLock lock) {
  if (!lock.Held() || listenFd_ >= 0) return false;
  socketPath_ = InstanceSocketPath(name);
  busyPath_ = InstanceBusyPath(name);
  sockaddr_un address;
  if (!Address(socketPath_, &address)) return false;
  // Nobody else may serve this name while the lock is held here; a socket
  // that still answers belongs to a player that takes no lock, and stays.
  if (const int probe = ConnectTo(socketPath_); probe >= 0) {
    close(probe);
    return false;
  }
  ::unlink(socketPath_.c_str());  // left by a killed player
  ::unlink(busyPath_.c_str());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  struct stat st {};
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 64) != 0 ||
      stat(socketPath_.c_str(), &st) != 0) {
    close(fd);
    return false;
  }
  chmod(socketPath_.c_str(), 0600);
  socketDevice_ = st.st_dev;
  socketInode_ = st.st_ino;
  listenFd_ = fd;
  lock_ = std::move(lock);
  listenNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(listenNotifier_, &QSocketNotifier::activated, this, &InstanceServer::OnConnection);
  return true;
}

void InstanceServer::StopListening() {
  if (listenFd_ < 0) return;
  delete listenNotifier_;
  listenNotifier_ = nullptr;
  close(listenFd_);
  listenFd_ = -1;
  // Unanswered starts see the connection end and try again.
  connections_.clear();
}

void InstanceServer::Close() {
  StopListening();
  if (!lock_.Held()) return;
  struct stat st {};
  if (stat(socketPath_.c_str(), &st) == 0 && st.st_dev == socketDevice_ && st.st_ino == socketInode_)
    ::unlink(socketPath_.c_str());
  ::unlink(busyPath_.c_str());
  lock_ = InstanceLock();
}

void InstanceServer::SetBusy(bool busy) {
  if (busyPath_.empty() || !lock_.Held()) return;
  if (busy) {
    const int fd = ::open(busyPath_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) ::close(fd);
  } else {
    ::unlink(busyPath_.c_str());
  }
}

void InstanceServer::OnConnection() {
  for (;;) {
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 || credentials.uid != getuid()) {
      close(fd);
      continue;
    }
    const int id = nextId_++;
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    connection->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(connection->notifier, &QSocketNotifier::activated, this, [this, id] { OnReadable(id); });
    connections_[id] = std::move(connection);
  }
}

void InstanceServer::OnReadable(int id) {
  auto it = connections_.find(id);
  if (it == connections_.end()) return;
  Connection& c = *it->second;
  char chunk[4096];
  const ssize_t n = read(c.fd, chunk, sizeof chunk);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    // Gone before saying everything; or gone after, while the message waits
    // its turn: it is still acted on.
    if (c.handed) {
      c.notifier->setEnabled(false);
    } else {
      Drop(id);
    }
    return;
  }
  if (c.handed) {
    // The start gave up waiting: given back unless its turn has come, in
    // which case it hears when it is done.
    if (!c.started && std::memchr(chunk, kWithdraw, static_cast<size_t>(n))) {
      WriteAll(c.fd, &kGivenBack, 1);
      Drop(id);
    }
    return;
  }
  c.buffer.append(chunk, static_cast<size_t>(n));
  if (c.buffer.size() < kHeader) return;
  uint32_t size = 0;
  for (int i = 0; i < 4; ++i) size |= static_cast<uint32_t>(static_cast<unsigned char>(c.buffer[1 + i])) << (8 * i);
  if (size > kMaxInstanceMessage) {
    WriteAll(c.fd, &kTooLong, 1);
    Drop(id);
    return;
  }
  if (c.buffer.size() < kHeader + size) return;
  // Bytes after the message are a withdrawal sent before this was read.
  const bool withdrawn = c.buffer.find(kWithdraw, kHeader + size) != std::string::npos;
  if (withdrawn) {
    WriteAll(c.fd, &kGivenBack, 1);
    Drop(id);
    return;
  }
  c.handed = true;
  const char kind = c.buffer[0];
  const std::string payload = c.buffer.substr(kHeader, size);
  c.buffer.clear();
  QPointer<InstanceServer> self(this);
  handler_(
      kind, payload, [self, id] { return self && self->Take(id); },
      [self, id] {
        if (self) self->Answer(id);
      });
}

bool InstanceServer::Take(int id) {
  auto it = connections_.find(id);
  if (it == connections_.end()) return false;
  it->second->started = true;
  return true;
}

void InstanceServer::Answer(int id) {
  auto it = connections_.find(id);
  if (it == connections_.end()) return;
  WriteAll(it->second->fd, &kDone, 1);
  connections_.erase(it);
}

void InstanceServer::Drop(int id) { connections_.erase(id); }

}  // namespace qel::desktop
