// A small modal dialog laid out from its template's dialog units: x pixels =
// units · cx / 4 and y pixels = units · cy / 8, with the average character
// width cx and the height cy of the dialog's font (the desktop's own).
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QRect>

namespace qel::desktop {

class TemplateDialog : public QDialog {
 public:
  // A dialog of w × h units with its title.
  TemplateDialog(QWidget* parent, const char* title, int w, int h);

  QRect Units(int x, int y, int w, int h) const;
  // A push button by its id ("1" OK, "2" Cancel) at its units.
  QPushButton* AddButton(int id, const char* caption, QRect units, bool isDefault);
  // Widens the dialog by `pixels`, growing the controls that span it and
  // moving those at its right edge, so that no text is cut off.
  void Widen(int pixels, const std::vector<QWidget*>& stretch, const std::vector<QWidget*>& shift);

 private:
  int cx_ = 6;
  int cy_ = 13;
};

}  // namespace qel::desktop
