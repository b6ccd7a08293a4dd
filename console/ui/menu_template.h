#pragma once
// Menus as a resource script gives them: items with command identifiers.
#include <QMenu>
#include <memory>
#include <vector>

#include "console/ui/controls.h"

namespace pvn::ui {

struct MenuItemTemplate {
  int id = 0;             // command; 0 with separator
  const char* text = "";  // UTF-8, '&' marks the mnemonic
  bool separator = false;
  bool grayed = false;
};

using MenuTemplate = std::vector<MenuItemTemplate>;

// A popup menu whose chosen item's command goes to `target`.
std::unique_ptr<QMenu> BuildMenu(const MenuTemplate& menu, CommandTarget* target);

}  // namespace pvn::ui
