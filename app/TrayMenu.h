#pragma once

#include <QAction>

class QMenu;

namespace app {

// The commands of the tray menu, top to bottom. Each item carries a number, its tag, which
// picks the item's glyph (0: none): these fixed commands in the property "tag", the items
// of the Chat submenu as a member of their own (TaggedAction below).
struct TrayMenuItems {
    QAction* mnuChat = nullptr;
    QAction* N4 = nullptr;
    QAction* mnuRefresh = nullptr;
    QAction* mnuOpcoes = nullptr;
    QAction* N5 = nullptr;
    QAction* mnuSobre = nullptr;
    QAction* N6 = nullptr;
    QAction* mnuFechar = nullptr;
};

inline constexpr const char* menuTagProperty = "tag";

// An item that carries its tag as a plain member: a menu of thousands of computers is
// rebuilt each time it opens, and a property per item would cost more than the item.
class TaggedAction : public QAction {
public:
    TaggedAction(const QString& caption, QObject* parent, int tag)
        : QAction(caption, parent), tag_(tag) {}
    int tag() const { return tag_; }

private:
    int tag_;
};

// Fills `menu` (named "menu1") with the tray commands; the actions belong to the menu.
// "&Chat" starts without a submenu: it has one only once there are names to list.
TrayMenuItems buildTrayMenu(QMenu& menu);

// The tag of an item, 0 when it has none.
int menuTag(const QAction* item);

} // namespace app
