// Requests that arrive from outside the user's own input (a second start, a
// remote command, the engine's notifications, a signal) are run only while
// the player is idle: never inside a modal dialog, message box or menu, and
// never in the middle of an operation of the player, where the nested event
// loop of a dialog would let them change the list under it. They wait their
// turn and run in order once the outermost operation has ended.
#pragma once

#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>

namespace qel::desktop {

class OperationGate : public QObject {
  Q_OBJECT
 public:
  explicit OperationGate(QObject* parent = nullptr);

  // Marks an operation of the player under way for its lifetime.
  class Scope {
   public:
    explicit Scope(OperationGate& gate);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    OperationGate& gate_;
  };

  // This runs in an event loop nested inside an operation (a dialog's), or
  // a modal window is open. A call from the operation's own code, with no
  // loop between, is not held: it is part of that operation.
  bool Busy() const;
  // Busy, or a menu is open (a menu's item may still act on what it showed).
  bool Held() const;
  // Runs the task now when nothing holds the player, else after what holds
  // it and what waits before it.
  void Submit(std::function<void()> task);
  // The player is closing: what waits is dropped and nothing more is taken.
  void Close();
  size_t Waiting() const { return waiting_.size(); }
  // Called each time the outermost operation has ended: the player is in a
  // settled state that watchers may look at.
  std::function<void()> onSettled;

 private:
  void Drain();
  void ScheduleDrain(int milliseconds);
  bool Nested() const;

  int depth_ = 0;
  int loopLevel_ = 0;  // the event loop the outermost operation began in
  bool closed_ = false;
  std::deque<std::function<void()>> waiting_;
  QTimer drainTimer_;
};

}  // namespace qel::desktop
