#include "desktop/position_slider.h"

#include <QStyle>
#include <QStyleOptionSlider>

namespace qel::desktop {

QRect PositionSlider::HandleRect() const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

void PositionSlider::sliderChange(SliderChange change) {
  // Styles draw the groove's filled part up to the handle, so a handle that
  // stays put means the whole slider draws as it did.
  if (change == SliderValueChange && !painted_.isNull() && HandleRect() == painted_) return;
  QSlider::sliderChange(change);
}

void PositionSlider::paintEvent(QPaintEvent* event) {
  painted_ = HandleRect();
  QSlider::paintEvent(event);
}

}  // namespace qel::desktop
