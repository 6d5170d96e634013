#pragma once

#include <QString>
#include <QStringList>

namespace session {

// The icon a desktop notification of the program names: the icon theme's "falavox" where
// the desktop looks for it (an installed package's share/icons), otherwise the file of the
// program's own icon in ../share beside the program (a build tree, or a prefix the desktop
// does not search), which the notification service loads by its path. `programDir` is
// the program's folder, `dataDirs` the folders the desktop searches (XDG_DATA_HOME and
// XDG_DATA_DIRS).
QString notificationIcon(const QString& programDir, const QStringList& dataDirs);

// notificationIcon() for this process.
QString programNotificationIcon();

} // namespace session
