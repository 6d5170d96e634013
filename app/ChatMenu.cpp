#include "app/ChatMenu.h"

#include "app/TrayMenu.h"
#include "platform/system/Cp1252.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QProxyStyle>

namespace app {

namespace {

// Names are shown exactly as listed: an ampersand in a name is a character, not the mark
// of a shortcut letter. A menu exported over D-Bus to a tray host that draws it itself
// reads "_" as that mark instead, so there an underscore is doubled as well.
QString captionOf(const std::string& name, bool exportedOverDBus) {
    QString caption = platform::fromCp1252(name);
    if (caption.contains(QLatin1Char('&'))) caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
    if (exportedOverDBus && caption.contains(QLatin1Char('_')))
        caption.replace(QLatin1Char('_'), QStringLiteral("__"));
    return caption;
}

// The application's style, except that a menu taller than the screen scrolls (arrows at
// its ends, the mouse wheel) instead of spreading into columns: with hundreds of
// computers, columns grow wider than the screen and cover the menus they came from, and
// the rows past its edge can never be reached.
class ScrollingMenuStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Menu_Scrollable) return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// One for all the Chat submenus, living as long as the application.
QStyle* scrollingMenuStyle() {
    static QPointer<ScrollingMenuStyle> style;
    if (!style) {
        style = new ScrollingMenuStyle;
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

void discardItems(QMenu& submenu) {
    for (QMenu* submenu : submenu.findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) {
        submenu->hide();
        submenu->setParent(nullptr);
        submenu->deleteLater();
    }
    submenu.clear();
}

} // namespace

void buildChatMenu(QAction& chatItem, QMenu& submenu, const NameLists& names,
                   const std::function<void(QAction*)>& onPicked, bool exportedOverDBus) {
    discardItems(submenu);
    submenu.setStyle(scrollingMenuStyle());

    std::vector<QAction*> domainItems;
    for (const std::string& name : names.domains) {
        auto* item = new TaggedAction(captionOf(name, exportedOverDBus), &submenu, domainItemTag);
        submenu.addAction(item);
        domainItems.push_back(item);
    }
    for (const ComputerEntry& computer : names.computers) {
        const bool inDomain =
            computer.parent >= 0 && computer.parent < static_cast<int>(domainItems.size());
        QMenu* target = &submenu;
        if (inDomain) {
            QAction* domain = domainItems[static_cast<std::size_t>(computer.parent)];
            target = domain->menu();
            if (!target) {
                target = new QMenu(&submenu);
                target->setStyle(scrollingMenuStyle());
                domain->setMenu(target);
            }
        }
        auto* item =
            new TaggedAction(captionOf(computer.name, exportedOverDBus), target, computerItemTag);
        item->setData(QByteArray::fromStdString(computer.name));
        // The item is the connection's context: the handler never runs for an item that
        // is gone.
        QObject::connect(item, &QAction::triggered, item, [onPicked, item] {
            if (onPicked) onPicked(item);
        });
        target->addAction(item);
    }
    chatItem.setMenu(submenu.isEmpty() ? nullptr : &submenu);
}

std::string computerName(const QAction& item) {
    return item.data().toByteArray().toStdString();
}

} // namespace app
