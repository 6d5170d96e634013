#include "app/ChatMenu.h"

#include "app/TrayMenu.h"
#include "platform/Cp1252.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

namespace app {

namespace {

// Names are shown exactly as listed: an ampersand in a name is a character, not the mark
// of a shortcut letter.
QString captionOf(const std::string& name) {
    QString caption = platform::fromCp1252(name);
    caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return caption;
}

void discardItems(QMenu& holder) {
    for (QMenu* submenu : holder.findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) {
        submenu->hide();
        submenu->setParent(nullptr);
        submenu->deleteLater();
    }
    holder.clear();
}

} // namespace

void buildChatMenu(QAction& S, QMenu& holder, const NameLists& lists,
                   const std::function<void(QAction*)>& H) {
    discardItems(holder);

    std::vector<QAction*> domainItems;
    for (const std::string& name : lists.domains) {
        QAction* item = holder.addAction(captionOf(name));
        item->setProperty(menuTagProperty, domainItemTag);
        domainItems.push_back(item);
    }
    for (const ComputerEntry& computer : lists.computers) {
        auto* item = new QAction(captionOf(computer.name));
        item->setProperty(menuTagProperty, computerItemTag);
        item->setProperty(computerNameProperty, QByteArray::fromStdString(computer.name));
        QObject::connect(item, &QAction::triggered, item, [H, guard = QPointer<QAction>(item)] {
            if (guard && H) H(guard);
        });
        const bool inDomain =
            computer.parent >= 0 && computer.parent < static_cast<int>(domainItems.size());
        if (!inDomain) {
            item->setParent(&holder);
            holder.addAction(item);
            continue;
        }
        QAction* domain = domainItems[static_cast<std::size_t>(computer.parent)];
        QMenu* computers = domain->menu();
        if (!computers) {
            computers = new QMenu(&holder);
            domain->setMenu(computers);
        }
        item->setParent(computers);
        computers->addAction(item);
    }
    S.setMenu(holder.isEmpty() ? nullptr : &holder);
}

std::string computerName(const QAction& item) {
    return item.property(computerNameProperty).toByteArray().toStdString();
}

} // namespace app
