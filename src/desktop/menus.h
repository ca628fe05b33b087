// The menus: their items in order, captions, which carry a check mark, and
// the submenus they open.
#pragma once

#include <QMenu>
#include <set>
#include <vector>

namespace qel::desktop {

struct MenuItemSpec {
  int command = 0;  // 0: a separator
  const char* caption = "";
  bool checkable = false;
  int icon = 0;  // non-zero: the item is drawn by OwnerDrawnMenu with this icon
  const char* submenu = nullptr;  // with command 0: the menu of this name (listed before) opens here
};

struct MenuSpec {
  const char* name;
  std::vector<MenuItemSpec> items;
  bool radio = false;  // one item checked at a time
};

const std::vector<MenuSpec>& MenuSpecs();

// A menu some of whose items it draws itself: the item filled with the
// highlight or the menu colour, a small icon at its left edge and the caption
// one menu-bar height in, vertically centred.
class OwnerDrawnMenu : public QMenu {
 public:
  explicit OwnerDrawnMenu(QWidget* parent) : QMenu(parent) {}
  void SetOwnerDrawn(QAction* action) { ownerDrawn_.insert(action); }
  // The caption's left offset inside an item: the height of a menu bar.
  int TextOffset() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::set<QAction*> ownerDrawn_;
  mutable int textOffset_ = 0;
};

}  // namespace qel::desktop
