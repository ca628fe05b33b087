#include "desktop/template_dialog.h"

#include <QFontMetrics>
#include <algorithm>

namespace qel::desktop {

TemplateDialog::TemplateDialog(QWidget* parent, const char* title, int w, int h) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(title));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);
  const QFontMetrics metrics(font());
  cx_ = std::max(1, metrics.averageCharWidth());
  cy_ = std::max(1, metrics.height());
  setFixedSize(Units(0, 0, w, h).size());
}

QRect TemplateDialog::Units(int x, int y, int w, int h) const {
  return QRect(x * cx_ / 4, y * cy_ / 8, w * cx_ / 4, h * cy_ / 8);
}

QPushButton* TemplateDialog::AddButton(int id, const char* caption, QRect units, bool isDefault) {
  auto* button = new QPushButton(QString::fromUtf8(caption), this);
  button->setObjectName(QString::number(id));
  button->setGeometry(Units(units.x(), units.y(), units.width(), units.height()));
  button->setDefault(isDefault);
  button->setAutoDefault(isDefault);
  return button;
}

void TemplateDialog::Widen(int pixels, const std::vector<QWidget*>& stretch, const std::vector<QWidget*>& shift) {
  if (pixels <= 0) return;
  setFixedSize(width() + pixels, height());
  for (QWidget* w : stretch) w->resize(w->width() + pixels, w->height());
  for (QWidget* w : shift) w->move(w->x() + pixels, w->y());
}

}  // namespace qel::desktop
