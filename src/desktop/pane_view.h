// The pane: the picture painted behind a transparent, read-only text
// control, or the video. What is drawn where is the core's to say.
#pragma once

#include <QImage>
#include <QPlainTextEdit>
#include <QWidget>
#include <functional>
#include <cstdint>

#include "core/pane/placement.h"
#include "core/state.h"
#include "engine/module.h"

namespace qel::desktop {

// A picture as an image that draws without its alpha: the picture's own
// pixels when they are all opaque, else an opaque copy with the stored
// colours of its transparent pixels.
QImage OpaqueImage(const Picture& picture);

class PaneArea : public QWidget {
  Q_OBJECT
 public:
  PaneArea(AppState& state, QWidget* parent);
  QPlainTextEdit* edit() const { return edit_; }
  void SetEngine(engine::MediaEngine* engine, unsigned handle) {
    engine_ = engine;
    handle_ = handle;
  }
  // Whether the video window shows a picture over the pane: the pane then
  // paints only its background around it.
  std::function<bool()> videoShown;

  // The window seam's pane calls.
  void SetText(const std::string& text);
  void ShowCaret(bool shown);
  void HighlightLine(int line);
  void SetCenterText(bool on);

  // What the last paint drew of the picture (nothing drawn: empty), and
  // for which picture.
  const PictureDraw& LastDraw() const { return lastDraw_; }
  uint64_t PaintedSerial() const { return paintedSerial_; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;

 private:
  // The drawn part of the backdrop at its drawn size, kept until the
  // picture, the rule or the size changes.
  const QImage& Opaque(const Picture& backdrop);
  const QImage& Scaled(const Picture& backdrop, const PictureDraw& draw);
  void FollowColours(bool pictureDrawn);

  AppState& state_;
  QPlainTextEdit* edit_;
  engine::MediaEngine* engine_ = nullptr;
  unsigned handle_ = 0;
  PictureDraw lastDraw_;
  uint64_t paintedSerial_ = ~0ull;
  QImage opaque_;
  struct {
    uint64_t serial = ~0ull;
    const void* pixels = nullptr;
  } opaqueFor_;
  QImage scaled_;
  struct {
    uint64_t serial = ~0ull;
    const void* pixels = nullptr;
    Rect source, destination;
    qreal ratio = 0;
  } scaledFor_;
  int highlighted_ = -1;
  bool lightText_ = false;
};

}  // namespace qel::desktop
