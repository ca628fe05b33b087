// The list's rows: selected, light, dark; the current entry in bold; the
// height the list's font implies.
#pragma once

#include <QStyledItemDelegate>

#include "core/state.h"

namespace qel::desktop {

class RowDelegate : public QStyledItemDelegate {
 public:
  RowDelegate(AppState& state, const int& rowHeight, QObject* parent)
      : QStyledItemDelegate(parent), state_(state), rowHeight_(rowHeight) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  AppState& state_;
  const int& rowHeight_;
};

}  // namespace qel::desktop
