// The position slider. The core moves it ten times a second while a file
// plays, but its handle moves a pixel only every few of those; repainting
// the slider (and with it a round trip to the display server) for a value
// that draws the same pixels is most of what the window costs while music
// plays, so only a change that moves the handle repaints.
#pragma once

#include <QRect>
#include <QSlider>

namespace qel::desktop {

class PositionSlider : public QSlider {
 public:
  explicit PositionSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

 protected:
  void sliderChange(SliderChange change) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QRect HandleRect() const;
  QRect painted_;  // the handle as last drawn
};

}  // namespace qel::desktop
