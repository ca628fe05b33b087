#include "desktop/query_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <algorithm>

namespace qel::desktop {
namespace {

constexpr const char* kHelpLines[] = {
    "・「A B」で、AとB両方含むものを絞り込む。",
    "・「-A」で、Aを含むものは除外する。",
    "・「OR A B」で、AもしくはBを含むものを絞り込む。",
};
constexpr int kHelpTops[] = {25, 36, 48};

}  // namespace

QueryDialog::QueryDialog(QueryKind kind, QWidget* parent)
    : TemplateDialog(parent, kind == QueryKind::Filter ? "Qel絞り込み" : "Qelジャンプ", 169, 82) {
  edit_ = new QLineEdit(this);
  edit_->setObjectName("1016");
  edit_->setGeometry(Units(7, 7, 155, 14));
  // The field has no label of its own: the help below it says what to type.
  edit_->setAccessibleName(QString::fromUtf8(kind == QueryKind::Filter ? "絞り込む文字列" : "ジャンプする文字列"));
  QStringList help;
  for (const char* line : kHelpLines) help << QString::fromUtf8(line);
  edit_->setAccessibleDescription(help.join(QLatin1Char('\n')));
  std::vector<QWidget*> stretch{edit_};
  int overflow = 0;
  for (int i = 0; i < 3; ++i) {
    auto* help = new QLabel(QString::fromUtf8(kHelpLines[i]), this);
    help->setGeometry(Units(7, kHelpTops[i], 155, 8));
    // Japanese glyphs are twice as wide as the letters the units are taken
    // from: the dialog grows rather than cut a help line short.
    overflow = std::max(overflow, help->sizeHint().width() - help->width());
    stretch.push_back(help);
  }
  QPushButton* ok = AddButton(1, "OK", QRect(59, 61, 50, 14), true);
  QPushButton* cancel = AddButton(2, "キャンセル", QRect(112, 61, 50, 14), false);
  Widen(overflow, stretch, {ok, cancel});
  connect(ok, &QPushButton::clicked, this, [this] {
    answer_ = edit_->text().toStdString();
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, [this] {
    answer_ = std::string();
    reject();
  });
  edit_->setFocus();
}

void QueryDialog::keyPressEvent(QKeyEvent* event) {
  // Escape answers as Cancel does; the close box (a plain reject) does not.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) answer_ = std::string();
  TemplateDialog::keyPressEvent(event);
}

std::optional<std::string> AskForQuery(QWidget* parent, QueryKind kind) {
  QueryDialog dialog(kind, parent);
  dialog.exec();
  return dialog.answer();
}

}  // namespace qel::desktop
