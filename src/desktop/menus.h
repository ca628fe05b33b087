// The six menus: their items in order, captions, and which carry a check mark.
#pragma once

#include <vector>

namespace qel::desktop {

struct MenuItemSpec {
  int command = 0;  // 0: a separator
  const char* caption = "";
  bool checkable = false;
  int icon = 0;
};

struct MenuSpec {
  const char* name;
  std::vector<MenuItemSpec> items;
};

const std::vector<MenuSpec>& MenuSpecs();

}  // namespace qel::desktop
