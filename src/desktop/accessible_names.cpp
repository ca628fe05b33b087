#include "desktop/accessible_names.h"

#include <QSlider>
#include <QWidget>

namespace qel::desktop {
namespace {

struct ControlName {
  const char* control;  // the widget's object name: the control's number
  const char* name;
  const char* description;
};

// The buttons in the order they stand, then the sliders, the list and the
// pane.
constexpr ControlName kControlNames[] = {
    {"1005", "開く", "ファイルやフォルダを開くメニュー"},
    {"1004", "再生", "再生と一時停止"},
    {"1006", "停止", "再生を止める"},
    {"1007", "前へ", "前のファイルを再生"},
    {"1008", "次へ", "次のファイルを再生"},
    {"1011", "再生順", "再生順を選ぶメニュー"},
    {"1012", "最前面に表示", "ほかのウィンドウより手前に表示する"},
    {"1013", "リスト/ペインの入れ替え", "リストとペインの幅を切り替える"},
    {"1010", "音量", ""},
    {"1009", "再生位置", ""},
    {"1001", "リスト", "再生するファイルの一覧"},
    {"1014", "テキスト", "歌詞やテキストファイルの内容"},
};

}  // namespace

void NameControls(QWidget* window) {
  for (const ControlName& control : kControlNames) {
    QWidget* widget = window->findChild<QWidget*>(QString::fromLatin1(control.control));
    if (!widget) continue;
    widget->setAccessibleName(QString::fromUtf8(control.name));
    widget->setAccessibleDescription(QString::fromUtf8(control.description));
  }
}

void NamePlayOrder(QWidget* window, const QString& order) {
  if (auto* button = window->findChild<QWidget*>(QStringLiteral("1011")))
    button->setAccessibleName(QString::fromUtf8("再生順: ") + order);
}

void DescribeVolume(QSlider* volume) {
  volume->setAccessibleDescription(QStringLiteral("%1%").arg(volume->value()));
}

void DescribePosition(QSlider* position, const QString& timeText) { position->setAccessibleDescription(timeText); }

QString CurrentRowDescription() { return QString::fromUtf8("再生中"); }

}  // namespace qel::desktop
