// One running player per instance name. The name is taken with a lock file
// (flock) in a private runtime folder, held from before the player listens
// until after it stopped listening; the kernel drops it with a killed
// player. The running player listens on a Unix-domain socket beside it; a
// second start connects, hands over its line or a command number and waits
// until the running player has acted on it.
#pragma once

#include <QObject>
#include <chrono>
#include <climits>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <sys/types.h>

class QSocketNotifier;

namespace qel::desktop {

// $XDG_RUNTIME_DIR/qel, else /tmp/qel-<uid>, else (another user took that
// name first) qel-<uid> in the user's cache folder: the first that is a
// real folder of the user's own, mode 0700 (created so). Empty when none
// can be had; a folder of someone else, a link, or one open to others is
// never used.
std::string InstanceFolder();
std::string InstanceSocketPath(const std::string& instanceName);
std::string InstanceLockPath(const std::string& instanceName);
// Exists while the running player writes a playlist.
std::string InstanceBusyPath(const std::string& instanceName);

// The name's lock. Whoever holds it is the one player of that name.
class InstanceLock {
 public:
  InstanceLock() = default;
  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  ~InstanceLock();
  // Held() is false when another process (or another lock of this one)
  // holds the name, or no private folder can be had.
  static InstanceLock TryTake(const std::string& instanceName);
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The longest message a second start sends: a path the system can open,
// the instance name and the quotes.
inline constexpr size_t kMaxInstanceMessage = PATH_MAX + 512;
// How long a second start waits for the running player.
inline constexpr std::chrono::milliseconds kSecondStartPatience{10000};

enum class SendOutcome {
  NoInstance,  // no player runs: *lock holds the name
  Handled,     // the player acted on it
  Busy,        // a hand-off while the player writes a playlist: not taken
  Refused,     // the player stayed busy (a dialog): taken back, not acted on
  Unanswered,  // the player answered neither the message nor the request
               // to give it back: whether it acts on it is not known
  Closing,     // the name stayed held by a player that is closing (or
               // starting): nothing handed over
  TooLong,     // longer than kMaxInstanceMessage: nothing handed over
  NoFolder,    // no private folder for the name: nothing can be told
};
// Hands a message to the running player of the name and waits until it has
// acted on it, for at most `patience`. kind 'H': a hand-off line, answered
// Busy at once while the player writes a playlist; 'C': a command number in
// decimal, which waits the save out. While another start holds the name
// without listening yet (or a player is closing) it waits. When no player
// runs, the name's lock goes into *lock (when given) and the answer is
// NoInstance. A message is either acted on whole or not at all.
SendOutcome SendToRunningInstance(const std::string& instanceName, char kind, const std::string& payload,
                                  InstanceLock* lock = nullptr,
                                  std::chrono::milliseconds patience = kSecondStartPatience);
// What the user is told about an outcome other than NoInstance and
// Handled (UTF-8); empty for those two.
std::string SendOutcomeMessage(SendOutcome outcome);

class InstanceServer : public QObject {
  Q_OBJECT
 public:
  // When its turn comes, the handler asks take() first: false means the
  // second start gave up waiting and took the message back (or the player
  // stopped listening), and nothing is to be done. done() then tells the
  // second start that its message was acted on. A message never answered
  // (the player closed first) makes that start try again, and it becomes
  // the next player.
  using Handler = std::function<void(char kind, const std::string& payload, std::function<bool()> take,
                                     std::function<void()> done)>;
  explicit InstanceServer(Handler handler, QObject* parent = nullptr);
  ~InstanceServer() override;
  // Listens under the name whose lock this is. A socket file left by a
  // killed player is replaced, but only after a connect to it failed.
  bool Listen(const std::string& instanceName, InstanceLock lock);
  // Takes no more messages and drops the unanswered ones, whose starts try
  // again; the name stays held, so they wait until Close().
  void StopListening();
  // Stops listening; removes the socket only when it is still the one bound
  // here; releases the name last.
  void Close();
  void SetBusy(bool busy);
  bool Listening() const { return listenFd_ >= 0; }

 private:
  struct Connection;
  void OnConnection();
  void OnReadable(int id);
  void Answer(int id);
  bool Take(int id);
  void Drop(int id);

  Handler handler_;
  InstanceLock lock_;
  int listenFd_ = -1;
  QSocketNotifier* listenNotifier_ = nullptr;
  std::string socketPath_;
  std::string busyPath_;
  dev_t socketDevice_ = 0;
  ino_t socketInode_ = 0;
  int nextId_ = 0;
  std::map<int, std::unique_ptr<Connection>> connections_;
};

}  // namespace qel::desktop
