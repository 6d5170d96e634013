#include "session/NotificationIcon.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace session {
namespace {

const QString kIconName = QStringLiteral("falavox");
const QString kIconFile = QStringLiteral("/icons/hicolor/48x48/apps/falavox.png");

} // namespace

QString notificationIcon(const QString& programDir, const QStringList& dataDirs) {
    const QString share = QDir::cleanPath(programDir + QStringLiteral("/../share"));
    for (const QString& dir : dataDirs)
        if (QFileInfo::exists(QDir::cleanPath(dir) + kIconFile)) return kIconName;
    if (QFileInfo::exists(share + kIconFile)) return share + kIconFile;
    // Nothing found: the desktop's own theme may still have it.
    return kIconName;
}

QString programNotificationIcon() {
    QStringList dataDirs;
    const QString home = qEnvironmentVariable("XDG_DATA_HOME");
    dataDirs << (home.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : home);
    const QString system = qEnvironmentVariable("XDG_DATA_DIRS");
    dataDirs << (system.isEmpty() ? QStringLiteral("/usr/local/share:/usr/share") : system)
                    .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return notificationIcon(QCoreApplication::applicationDirPath(), dataDirs);
}

} // namespace session
