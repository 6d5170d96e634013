#pragma once

#include "app/NameLists.h"

#include <functional>
#include <string>

class QAction;
class QMenu;

namespace app {

// Tags of the items the Chat submenu is made of.
inline constexpr int domainItemTag = 8;
inline constexpr int computerItemTag = 9;

// Fills the Chat item's submenu with the domains of `names`, each opening to its
// computers, followed by the computers of no domain; each computer item runs `onPicked`
// with itself when picked. `submenu` is the menu that `chatItem` opens; with both lists
// empty `chatItem` opens nothing. Menus taller than the screen scroll. `exportedOverDBus`: the menu
// is drawn by a tray host from what the toolkit exports.
void buildChatMenu(QAction& chatItem, QMenu& submenu, const NameLists& names,
                   const std::function<void(QAction*)>& onPicked, bool exportedOverDBus = false);

// The computer name of a Chat submenu item, as the network gave it (Windows-1252 bytes),
// kept in the item's data; its caption shows the same name.
std::string computerName(const QAction& item);

} // namespace app
