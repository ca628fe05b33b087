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
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace qel::desktop {
namespace {

// A message: kind, 4-byte length (little-endian), payload. The answer is one
// byte once the running player has acted on it.
constexpr size_t kHeader = 5;
// No path is this long; a bigger message is not ours.
constexpr uint32_t kMaxPayload = 1u << 20;

bool PrivateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return false;
  if ((st.st_mode & 0077) != 0 && chmod(path.c_str(), 0700) != 0) return false;
  return true;
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

enum class Delivery { Answered, Busy, Lost };

Delivery Deliver(int fd, const std::string& name, char kind, const std::string& payload) {
  // A hand-off during a save would wait for the whole save: the user is
  // told to try again instead. A command waits the save out.
  if (kind == 'H' && access(InstanceBusyPath(name).c_str(), F_OK) == 0) return Delivery::Busy;
  std::string message(1, kind);
  const uint32_t size = static_cast<uint32_t>(payload.size());
  for (int i = 0; i < 4; ++i) message.push_back(static_cast<char>((size >> (8 * i)) & 0xff));
  message += payload;
  if (!WriteAll(fd, message.data(), message.size())) return Delivery::Lost;
  char answer = 0;
  ssize_t n;
  do n = read(fd, &answer, 1);
  while (n < 0 && errno == EINTR);
  return n == 1 ? Delivery::Answered : Delivery::Lost;
}

}  // namespace

std::string InstanceFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
    const std::string folder = std::string(runtime) + "/qel";
    if (PrivateFolder(folder)) return folder;
  }
  const std::string folder = "/tmp/qel-" + std::to_string(getuid());
  return PrivateFolder(folder) ? folder : std::string();
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
                                  InstanceLock* lock) {
  const std::string path = InstanceSocketPath(name);
  sockaddr_un unused;
  if (!Address(path, &unused)) return SendOutcome::NoInstance;  // no private folder: no single instance
  for (;;) {
    if (const int fd = ConnectTo(path); fd >= 0) {
      const Delivery delivery = Deliver(fd, name, kind, payload);
      close(fd);
      if (delivery == Delivery::Answered) return SendOutcome::Handled;
      if (delivery == Delivery::Busy) return SendOutcome::Busy;
      // The player closed before acting on it: this start may be the next.
    } else if (InstanceLock taken = InstanceLock::TryTake(name); taken.Held()) {
      if (lock) *lock = std::move(taken);
      return SendOutcome::NoInstance;
    }
    // The name's holder is starting up or closing.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// ---- the running player

struct InstanceServer::Connection {
  int fd = -1;
  QSocketNotifier* notifier = nullptr;
  std::string buffer;
  bool handed = false;
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
    const int fd = ::open(busyPath_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
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
  if (c.handed) return;
  c.buffer.append(chunk, static_cast<size_t>(n));
  if (c.buffer.size() < kHeader) return;
  uint32_t size = 0;
  for (int i = 0; i < 4; ++i) size |= static_cast<uint32_t>(static_cast<unsigned char>(c.buffer[1 + i])) << (8 * i);
  if (size > kMaxPayload) {
    Drop(id);
    return;
  }
  if (c.buffer.size() < kHeader + size) return;
  c.handed = true;
  c.notifier->setEnabled(false);
  const char kind = c.buffer[0];
  const std::string payload = c.buffer.substr(kHeader, size);
  QPointer<InstanceServer> self(this);
  handler_(kind, payload, [self, id] {
    if (self) self->Answer(id);
  });
}

void InstanceServer::Answer(int id) {
  auto it = connections_.find(id);
  if (it == connections_.end()) return;
  WriteAll(it->second->fd, "1", 1);
  connections_.erase(it);
}

void InstanceServer::Drop(int id) { connections_.erase(id); }

}  // namespace qel::desktop
