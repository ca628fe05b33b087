#include "desktop/operation_gate.h"

#include <QApplication>
#include <QThread>

namespace qel::desktop {

OperationGate::OperationGate(QObject* parent) : QObject(parent) {
  drainTimer_.setSingleShot(true);
  connect(&drainTimer_, &QTimer::timeout, this, &OperationGate::Drain);
}

OperationGate::Scope::Scope(OperationGate& gate) : gate_(gate) {
  if (gate_.depth_++ == 0) gate_.loopLevel_ = QThread::currentThread()->loopLevel();
}

OperationGate::Scope::~Scope() {
  if (--gate_.depth_ != 0) return;
  if (!gate_.waiting_.empty()) gate_.ScheduleDrain(0);
  if (gate_.onSettled) gate_.onSettled();
}

bool OperationGate::Nested() const {
  return depth_ > 0 && QThread::currentThread()->loopLevel() > loopLevel_;
}

bool OperationGate::Busy() const { return Nested() || QApplication::activeModalWidget() != nullptr; }

bool OperationGate::Held() const { return Busy() || QApplication::activePopupWidget() != nullptr; }

void OperationGate::Submit(std::function<void()> task) {
  if (closed_) return;
  if (waiting_.empty() && !Held()) {
    Scope scope(*this);
    task();
    return;
  }
  waiting_.push_back(std::move(task));
  ScheduleDrain(0);
}

void OperationGate::Close() {
  closed_ = true;
  waiting_.clear();
  drainTimer_.stop();
}

void OperationGate::ScheduleDrain(int milliseconds) {
  if (closed_) return;
  if (!drainTimer_.isActive() || milliseconds == 0) drainTimer_.start(milliseconds);
}

void OperationGate::Drain() {
  while (!waiting_.empty() && !closed_) {
    if (Held()) {
      // A dialog or a menu is open with no operation of ours around it (or
      // this runs inside its loop): look again shortly.
      ScheduleDrain(50);
      return;
    }
    std::function<void()> task = std::move(waiting_.front());
    waiting_.pop_front();
    Scope scope(*this);
    task();
  }
}

}  // namespace qel::desktop
