#include "desktop/rename_dialog.h"

namespace qel::desktop {

FileNameDialog::FileNameDialog(const std::string& name, size_t selectEnd, std::function<bool(const std::string&)> check,
                               QWidget* parent)
    : TemplateDialog(parent, "ファイル名", 159, 47), accept_(std::move(check)) {
  edit_ = new QLineEdit(QString::fromStdString(name), this);
  edit_->setObjectName("1014");
  edit_->setGeometry(Units(7, 7, 145, 14));
  edit_->setAccessibleName(QString::fromUtf8("新しいファイル名"));
  // The selection counts characters as the edit box does, not bytes.
  const qsizetype selected = QString::fromUtf8(name.data(), static_cast<qsizetype>(std::min(selectEnd, name.size()))).size();
  edit_->setSelection(0, selected);
  QPushButton* ok = AddButton(1, "OK", QRect(50, 26, 50, 14), true);
  QPushButton* cancel = AddButton(2, "キャンセル", QRect(102, 26, 50, 14), false);
  connect(ok, &QPushButton::clicked, this, [this] {
    const std::string typed = edit_->text().toStdString();
    if (!accept_ || !accept_(typed)) return;  // told why; the dialog stays
    answer_ = typed;
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  edit_->setFocus();
}

std::optional<std::string> AskForFileName(QWidget* parent, const std::string& name, size_t selectEnd,
                                          const std::function<bool(const std::string&)>& accept) {
  FileNameDialog dialog(name, selectEnd, accept, parent);
  dialog.exec();
  return dialog.answer();
}

}  // namespace qel::desktop
