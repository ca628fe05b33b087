#include "desktop/instance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QVariant>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace qel::desktop {
namespace {

bool PrivateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return false;
  if ((st.st_mode & 0077) != 0 && chmod(path.c_str(), 0700) != 0) return false;
  return true;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
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

}  // namespace

std::string InstanceFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
    const std::string folder = std::string(runtime) + "/qel";
    if (PrivateFolder(folder)) return folder;
  }
  const std::string folder = "/tmp/qel-" + std::to_string(getuid());
  return PrivateFolder(folder) ? folder : std::string();
}

std::string InstanceSocketPath(const std::string& name) {
  const std::string folder = InstanceFolder();
  return folder.empty() ? std::string() : folder + "/" + FileSafe(name) + ".sock";
}

std::string InstanceBusyPath(const std::string& name) {
  const std::string folder = InstanceFolder();
  return folder.empty() ? std::string() : folder + "/" + FileSafe(name) + ".busy";
}

SendOutcome SendToRunningInstance(const std::string& name, char kind, const std::string& payload) {
  const std::string path = InstanceSocketPath(name);
  if (path.empty() || path.size() >= sizeof(sockaddr_un::sun_path)) return SendOutcome::NoInstance;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return SendOutcome::NoInstance;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return SendOutcome::NoInstance;  // none, or a stale socket of a killed one
  }
  if (access(InstanceBusyPath(name).c_str(), F_OK) == 0) {
    close(fd);
    return SendOutcome::Busy;
  }
  // kind, 4-byte length (little-endian), payload; the answer is one byte once
  // the running player has handled it.
  std::string message(1, kind);
  const uint32_t size = static_cast<uint32_t>(payload.size());
  for (int i = 0; i < 4; ++i) message.push_back(static_cast<char>((size >> (8 * i)) & 0xff));
  message += payload;
  SendOutcome outcome = SendOutcome::NoInstance;
  if (WriteAll(fd, message.data(), message.size())) {
    char answer = 0;
    ssize_t n;
    do n = read(fd, &answer, 1);
    while (n < 0 && errno == EINTR);
    // A player that went away while handling still received the message.
    outcome = SendOutcome::Handled;
  }
  close(fd);
  return outcome;
}

InstanceServer::InstanceServer(Handler handler, QObject* parent) : QObject(parent), handler_(std::move(handler)) {}

InstanceServer::~InstanceServer() { Close(); }

bool InstanceServer::Listen(const std::string& name) {
  socketPath_ = InstanceSocketPath(name);
  busyPath_ = InstanceBusyPath(name);
  if (socketPath_.empty()) return false;
  ::unlink(busyPath_.c_str());
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  const QString path = QString::fromStdString(socketPath_);
  if (!server_->listen(path)) {
    // Nobody answered on it before this start, so it is stale.
    QLocalServer::removeServer(path);
    if (!server_->listen(path)) return false;
  }
  connect(server_, &QLocalServer::newConnection, this, &InstanceServer::OnConnection);
  return true;
}

void InstanceServer::Close() {
  if (!server_) return;
  server_->close();
  delete server_;
  server_ = nullptr;
  ::unlink(socketPath_.c_str());
  ::unlink(busyPath_.c_str());
}

void InstanceServer::SetBusy(bool busy) {
  if (busyPath_.empty()) return;
  if (busy) {
    const int fd = ::open(busyPath_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
  } else {
    ::unlink(busyPath_.c_str());
  }
}

void InstanceServer::OnConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (getsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        credentials.uid != getuid()) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadable(socket); });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (socket->bytesAvailable() > 0) OnReadable(socket);
  }
}

void InstanceServer::OnReadable(QLocalSocket* socket) {
  if (socket->property("qelDone").toBool()) return;
  if (socket->bytesAvailable() < 5) return;
  const QByteArray head = socket->peek(5);
  uint32_t size = 0;
  for (int i = 0; i < 4; ++i) size |= static_cast<uint32_t>(static_cast<unsigned char>(head[1 + i])) << (8 * i);
  if (size > 65536) {  // no line is that long
    socket->abort();
    return;
  }
  if (socket->bytesAvailable() < 5 + static_cast<qint64>(size)) return;
  socket->read(5);
  const QByteArray payload = socket->read(size);
  socket->setProperty("qelDone", true);
  handler_(head[0], payload.toStdString());
  socket->write("1", 1);
  socket->flush();
  socket->disconnectFromServer();
}

}  // namespace qel::desktop
