#include "desktop/menus.h"

#include <QMenuBar>
#include <algorithm>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace qel::desktop {

const std::vector<MenuSpec>& MenuSpecs() {
  static const std::vector<MenuSpec> layouts = {
      {"QEL_OPEN", {{1700, "ファイル", false, 118}, {1800, "フォルダ", false, 119}, {}, {1900, "サブフォルダも読み込む", true}}},
      {"QEL_PLAY", {{2500, "順次再生", true}, {2600, "ランダム再生", true}, {2700, "単曲再生", true}, {3000, "一巡再生", true}}},
      {"QEL_POPUP",
       {{4700, "絞り込み"},
        {},
        {40012, "シングルクリックモード", true},
        {40017, "拡張子を表示しない", true},
        {},
        {1500, "リストから削除"},
        {2900, "リストをソート"},
        {1600, "プレイリストに保存"},
        {},
        {1100, "コピー"},
        {1200, "移動"},
        {1400, "削除"},
        {},
        {40007, "内蔵画像を表示する", true},
        {3500, "フォントを変更する"},
        {},
        {1000, "プロパティ"}}},
      {"QEL_TEXT",
       {{40008, "内蔵画像を表示する", true},
        {40026, "歌詞を表示する", true},
        {40010, "中央寄せ", true},
        {},
        {3400, "フォントを変更する"},
        {},
        {40019, "キャプチャ（ファイル）"},
        {40021, "キャプチャ（メモリ）"}}},
      {"QEL_TITLE",
       {{3100, "最小化"},
        {},
        {3800, "エラーで止めない", true},
        {40005, "再生中は画面オフにしない", true},
        {40003, "再生中はスタンバイにしない", true},
        {},
        {40028, "ダークモード", true}}},
      {"QEL_REPLAYGAIN", {{2410, "使わない", true}, {2420, "トラック", true}, {2430, "アルバム", true}}, true},
      {"QEL_MASTER", {{2400, "マスターボリュームと連動する", true}, {0, "リプレイゲイン", false, 0, "QEL_REPLAYGAIN"}}},
  };
  return layouts;
}

int OwnerDrawnMenu::TextOffset() const {
  if (textOffset_ == 0) {
    QMenuBar bar;
    bar.setFont(font());
    bar.addAction("X");
    textOffset_ = std::max(1, bar.sizeHint().height());
  }
  return textOffset_;
}

void OwnerDrawnMenu::paintEvent(QPaintEvent* event) {
  QMenu::paintEvent(event);
  QPainter painter(this);
  const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
  for (QAction* action : actions()) {
    if (!ownerDrawn_.count(action) || !action->isVisible()) continue;
    const QRect item = actionGeometry(action);
    if (!event->rect().intersects(item)) continue;
    const bool selected = action == activeAction() && action->isEnabled();
    if (selected) {
      painter.fillRect(item, palette().color(QPalette::Highlight));
    } else {
      // The menu colour is whatever the style paints the menu's panel with.
      QStyleOption panel;
      panel.initFrom(this);
      panel.rect = rect();
      painter.save();
      painter.setClipRect(item);
      style()->drawPrimitive(QStyle::PE_PanelMenu, &panel, &painter, this);
      painter.restore();
    }
    const QIcon::Mode mode = !action->isEnabled() ? QIcon::Disabled : selected ? QIcon::Selected : QIcon::Normal;
    const QRect iconRect(item.left(), item.top() + (item.height() - iconSize) / 2, iconSize, iconSize);
    action->icon().paint(&painter, iconRect, Qt::AlignCenter, mode);
    painter.setPen(palette().color(!action->isEnabled() ? QPalette::Disabled : QPalette::Active,
                                   selected ? QPalette::HighlightedText : QPalette::WindowText));
    QRect text = item;
    text.setLeft(item.left() + TextOffset());
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic,
                     action->text());
  }
}

}  // namespace qel::desktop
