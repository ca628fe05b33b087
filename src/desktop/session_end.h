// The end of the session reaches the player as SIGTERM (the session or the
// system stopping), SIGHUP (its terminal gone), SIGINT (Ctrl+C) or the
// session manager's request to quit at logout. Each asks for the same
// orderly close as Escape; the player decides whether one is still due.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace qel::desktop {

class SessionEnd : public QObject {
  Q_OBJECT
 public:
  // onEnd answers whether it began a close (false when the player is
  // closing already, so that its own quit goes through).
  explicit SessionEnd(std::function<bool()> onEnd, QObject* parent = nullptr);
  ~SessionEnd() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnSignal();

  std::function<bool()> onEnd_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace qel::desktop
