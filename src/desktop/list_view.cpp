#include "desktop/list_view.h"

#include <QEvent>
#include <QItemSelectionModel>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "core/list/row_look.h"
#include "core/pane/placement.h"
#include "desktop/accessible_names.h"
#include "desktop/pane_view.h"
#include "desktop/qt_helpers.h"

namespace qel::desktop {
namespace {

QColor Colour(uint32_t rgb) { return QColor::fromRgb(rgb); }

bool ListPictureShown(const AppState& state) {
  return state.settings.ShowBitmapList && state.panePicture && !state.panePicture->Empty();
}

}  // namespace

int RowModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : static_cast<int>(rows_.size()); }

QVariant RowModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_.size()) return {};
  if (role == Qt::DisplayRole) return rows_[index.row()];
  if (role == Qt::AccessibleDescriptionRole && current_ && index.row() == *current_) return CurrentRowDescription();
  return {};
}

void RowModel::Insert(int at, const QString& text) {
  at = std::clamp(at, 0, static_cast<int>(rows_.size()));
  beginInsertRows(QModelIndex(), at, at);
  rows_.insert(at, text);
  endInsertRows();
}

void RowModel::Append(const QStringList& texts) {
  if (texts.isEmpty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(texts.size()) - 1);
  rows_.append(texts);
  endInsertRows();
}

void RowModel::Remove(int at) {
  if (at < 0 || at >= rows_.size()) return;
  beginRemoveRows(QModelIndex(), at, at);
  rows_.removeAt(at);
  endRemoveRows();
}

void RowModel::Clear() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}

RowList::RowList(QWidget* parent) : QListView(parent), model_(new RowModel(this)) { setModel(model_); }

bool RowList::IsSelected(int row) const { return selectionModel()->isSelected(Index(row)); }

void RowList::SetSelected(int row, bool selected) {
  const QModelIndex index = Index(row);
  if (index.isValid())
    selectionModel()->select(index, selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

int TextLineHeight(const QFont& font) {
  QTextLayout layout(QString::fromUtf8("朝の歌 Ágy"), font);
  layout.beginLayout();
  const QTextLine line = layout.createLine();
  layout.endLayout();
  return std::max(QFontMetrics(font).height(), static_cast<int>(std::ceil(line.height())));
}

QSize RowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  if (rowHeight_ > 0) size.setHeight(rowHeight_);
  return size;
}

void RowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  if (state_.entries.empty()) return;
  const RowLook look = LookOfRow(option.state & QStyle::State_Selected, state_.settings.DarkMode,
                                 ListPictureShown(state_), index.row() == state_.currentIndex);
  // Rows over the picture leave it showing: the list's background holds it.
  if (look.fill) painter->fillRect(option.rect, Colour(*look.fill));
  QFont font = option.font;
  if (look.bold) font.setWeight(QFont::Bold);
  painter->setFont(font);
  painter->setPen(Colour(look.text));
  painter->drawText(option.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                    index.data(Qt::DisplayRole).toString());
}

RowBackground::RowBackground(AppState& state, QAbstractItemView* list) : QObject(list), state_(state), list_(list) {
  list->viewport()->installEventFilter(this);
  // Scrolling moves the rows over a fixed picture: the whole list is drawn
  // again instead of moving the pixels already drawn.
  connect(list->verticalScrollBar(), &QScrollBar::valueChanged, list->viewport(),
          [this] { if (PictureShown()) list_->viewport()->update(); });
}

bool RowBackground::PictureShown() const { return ListPictureShown(state_); }

const QImage& RowBackground::Image() {
  const QSize size = list_->viewport()->size();
  const bool dark = state_.settings.DarkMode;
  const Picture& picture = *state_.panePicture;
  if (builtFor_.serial == state_.pictureSerial && builtFor_.pixels == picture.pixels.data() &&
      builtFor_.size == size && builtFor_.dark == dark && builtFor_.ratio == list_->devicePixelRatioF())
    return image_;
  // Built at the screen's own pixels, as the pane's picture is.
  const qreal ratio = list_->devicePixelRatioF();
  image_ = QImage(size * ratio, QImage::Format_RGB32);
  image_.setDevicePixelRatio(ratio);
  image_.fill(Colour(ListBackground(dark)));
  const Rect fit = FitListPicture(size.width(), size.height(), picture.width, picture.height);
  if (fit.Width() > 0 && fit.Height() > 0) {
    QPainter painter(&image_);
    painter.drawImage(ToQRect(fit), OpaqueImage(picture).scaled(qRound(fit.Width() * ratio),
                                                                qRound(fit.Height() * ratio), Qt::IgnoreAspectRatio,
                                                                Qt::SmoothTransformation));
  }
  builtFor_ = {state_.pictureSerial, picture.pixels.data(), size, dark, ratio};
  return image_;
}

bool RowBackground::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::Paint || watched != list_->viewport()) return false;
  // Drawn before the rows, for the whole region being painted, so that the
  // area below the last row matches the rows too.
  QPainter painter(list_->viewport());
  const QRegion region = static_cast<QPaintEvent*>(event)->region();
  painter.setClipRegion(region);
  if (PictureShown())
    painter.drawImage(QPoint(0, 0), Image());
  else
    painter.fillRect(region.boundingRect(), Colour(ListBackground(state_.settings.DarkMode)));
  return false;
}

}  // namespace qel::desktop
