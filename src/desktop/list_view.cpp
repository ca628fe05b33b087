#include "desktop/list_view.h"

#include <QPainter>

namespace qel::desktop {

QSize RowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  if (rowHeight_ > 0) size.setHeight(rowHeight_);
  return size;
}

void RowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  if (state_.entries.empty()) return;
  const bool selected = option.state & QStyle::State_Selected;
  const bool dark = state_.settings.DarkMode;
  QColor background = selected ? QColor(0, 128, 255) : dark ? QColor(64, 64, 64) : QColor(Qt::white);
  QColor text = selected || dark ? QColor(Qt::white) : QColor(Qt::black);
  painter->fillRect(option.rect, background);
  QFont font = option.font;
  if (index.row() == state_.currentIndex) font.setWeight(QFont::Bold);
  painter->setFont(font);
  painter->setPen(text);
  painter->drawText(option.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                    index.data(Qt::DisplayRole).toString());
}

}  // namespace qel::desktop
