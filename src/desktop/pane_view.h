// The painted area behind the pane's text: background, picture, video.
#pragma once

#include <QPlainTextEdit>
#include <QWidget>

#include "core/state.h"
#include "engine/module.h"

namespace qel::desktop {

class PaneArea : public QWidget, public engine::VideoSink {
  Q_OBJECT
 public:
  PaneArea(AppState& state, QWidget* parent);
  QPlainTextEdit* edit() const { return edit_; }
  void SetEngine(engine::MediaEngine* engine, unsigned handle) {
    engine_ = engine;
    handle_ = handle;
  }
  void FrameReady() override { update(); }
  int Width() override { return width(); }
  int Height() override { return height(); }

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;

 private:
  AppState& state_;
  QPlainTextEdit* edit_;
  engine::MediaEngine* engine_ = nullptr;
  unsigned handle_ = 0;
};

}  // namespace qel::desktop
