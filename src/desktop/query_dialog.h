// The filter and jump dialogs (129 "Qel絞り込み", 130 "Qelジャンプ"): one
// edit box, the three help lines of the query language, OK and Cancel.
#pragma once

#include <QLineEdit>
#include <optional>
#include <string>

#include "core/platform.h"
#include "desktop/template_dialog.h"

namespace qel::desktop {

class QueryDialog : public TemplateDialog {
 public:
  QueryDialog(QueryKind kind, QWidget* parent);
  // The text on OK (possibly empty), "" on Cancel or Escape, nothing when the
  // dialog was closed otherwise.
  const std::optional<std::string>& answer() const { return answer_; }
  QLineEdit* edit() const { return edit_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QLineEdit* edit_;
  std::optional<std::string> answer_;
};

// Shows the dialog modally over parent and answers as QueryDialog::answer.
std::optional<std::string> AskForQuery(QWidget* parent, QueryKind kind);

}  // namespace qel::desktop
