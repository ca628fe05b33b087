// The list's rows: selected, light, dark; the current entry in bold; the
// height the list's font implies; and the current file's picture fitted
// behind them, fixed while the rows scroll over it.
#pragma once

#include <QAbstractListModel>
#include <QImage>
#include <QListView>
#include <QStringList>
#include <QStyledItemDelegate>
#include <cstdint>

#include "core/state.h"

namespace qel::desktop {

// The height of one line of the list's text in a font, with the faces that
// draw Japanese and Latin text in it: a CJK face reaches above and below
// the em that the font's own metrics describe.
int TextLineHeight(const QFont& font);

// The list's rows: one text each, kept as the list of texts itself. A row
// costs a string, not an item object, and 10,000 rows go in as one block.
class RowModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  const QString& Text(int row) const { return rows_[row]; }
  // The row of the entry being played, which a screen reader is told of.
  void FollowCurrent(const int* current) { current_ = current; }
  void Insert(int at, const QString& text);
  void Append(const QStringList& texts);
  void Remove(int at);
  void Clear();

 private:
  QStringList rows_;
  const int* current_ = nullptr;
};

// The list view over its rows, asked by row number.
class RowList : public QListView {
 public:
  explicit RowList(QWidget* parent);
  RowModel* Model() const { return model_; }
  int Count() const { return model_->rowCount(); }
  QModelIndex Index(int row) const { return model_->index(row, 0); }
  bool IsSelected(int row) const;
  void SetSelected(int row, bool selected);
  QRect RowRect(int row) const { return visualRect(Index(row)); }

 private:
  RowModel* model_;
};

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

// Paints the list's background: the picture fitted to the client area when
// ShowBitmapList is on and there is one, else the plain light or dark
// colour, down to the bottom of the list. The fitted picture is built once
// per picture and size.
class RowBackground : public QObject {
 public:
  RowBackground(AppState& state, QAbstractItemView* list);
  // Whether the rows are drawn over the picture now.
  bool PictureShown() const;
  // The background as it is now (built when needed), for tests.
  const QImage& Image();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  AppState& state_;
  QAbstractItemView* list_;
  QImage image_;
  struct {
    uint64_t serial = ~0ull;
    const void* pixels = nullptr;
    QSize size;
    bool dark = false;
    qreal ratio = 0;
  } builtFor_;
};

}  // namespace qel::desktop
