// One running player per instance name: a listening Unix-domain socket in a
// private runtime folder marks it; a second start connects, hands over its
// line or a command number and waits until the running player handled it.
#pragma once

#include <QObject>
#include <functional>
#include <string>

class QLocalServer;
class QLocalSocket;

namespace qel::desktop {

// $XDG_RUNTIME_DIR/qel, else /tmp/qel-<uid>; created with mode 0700. Empty
// when no private folder can be had (a folder owned by someone else or
// open to others is refused).
std::string InstanceFolder();
std::string InstanceSocketPath(const std::string& instanceName);
// Exists while the running player writes a playlist.
std::string InstanceBusyPath(const std::string& instanceName);

enum class SendOutcome { NoInstance, Handled, Busy };
// kind 'H': a hand-off line; 'C': a command number in decimal.
SendOutcome SendToRunningInstance(const std::string& instanceName, char kind, const std::string& payload);

class InstanceServer : public QObject {
  Q_OBJECT
 public:
  using Handler = std::function<void(char kind, const std::string& payload)>;
  explicit InstanceServer(Handler handler, QObject* parent = nullptr);
  ~InstanceServer() override;
  // Listens under the name, replacing a stale socket of a killed instance.
  bool Listen(const std::string& instanceName);
  void Close();
  void SetBusy(bool busy);

 private:
  void OnConnection();
  void OnReadable(QLocalSocket* socket);

  Handler handler_;
  QLocalServer* server_ = nullptr;
  std::string socketPath_;
  std::string busyPath_;
};

}  // namespace qel::desktop
