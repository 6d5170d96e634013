#include "app/TrayMenu.h"

#include <QAction>
#include <QMenu>

namespace app {

namespace {

QAction* addItem(QMenu& menu, const char* name, const QString& caption, int tag) {
    QAction* item = menu.addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    item->setProperty(menuTagProperty, tag);
    return item;
}

QAction* addSeparator(QMenu& menu, const char* name) {
    QAction* item = menu.addSeparator();
    item->setObjectName(QString::fromLatin1(name));
    item->setProperty(menuTagProperty, 0);
    return item;
}

} // namespace

TrayMenuItems buildTrayMenu(QMenu& menu) {
    menu.setObjectName(QStringLiteral("menu1"));
    TrayMenuItems items;
    items.mnuChat = addItem(menu, "mnuChat", QStringLiteral("&Chat"), 2);
    items.N4 = addSeparator(menu, "N4");
    items.mnuRefresh = addItem(menu, "mnuRefresh", QStringLiteral("&Refresh"), 3);
    items.mnuOpcoes = addItem(menu, "mnuOpcoes", QStringLiteral("&Opções"), 4);
    items.N5 = addSeparator(menu, "N5");
    items.mnuSobre = addItem(menu, "mnuSobre", QStringLiteral("&Sobre"), 6);
    items.N6 = addSeparator(menu, "N6");
    items.mnuFechar = addItem(menu, "mnuFechar", QStringLiteral("&Fechar"), 7);
    return items;
}

int menuTag(const QAction* item) {
    if (const auto* tagged = dynamic_cast<const TaggedAction*>(item)) return tagged->tag();
    return item ? item->property(menuTagProperty).toInt() : 0;
}

} // namespace app
