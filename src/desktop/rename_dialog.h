// The file-name dialog (131 "ファイル名"): the name in an edit box with its
// base name selected, so that typing replaces the name and keeps the
// extension; OK asks the core whether the name will do and stays open
// until it does.
#pragma once

#include <QLineEdit>
#include <functional>
#include <optional>
#include <string>

#include "desktop/template_dialog.h"

namespace qel::desktop {

class FileNameDialog : public TemplateDialog {
 public:
  // selectEnd: the bytes of name selected at the start.
  FileNameDialog(const std::string& name, size_t selectEnd, std::function<bool(const std::string&)> check,
                 QWidget* parent);
  // The accepted name; nothing when the dialog was cancelled or closed.
  const std::optional<std::string>& answer() const { return answer_; }
  QLineEdit* edit() const { return edit_; }

 private:
  QLineEdit* edit_;
  std::function<bool(const std::string&)> accept_;
  std::optional<std::string> answer_;
};

std::optional<std::string> AskForFileName(QWidget* parent, const std::string& name, size_t selectEnd,
                                          const std::function<bool(const std::string&)>& accept);

}  // namespace qel::desktop
