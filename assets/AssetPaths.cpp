#include "assets/AssetPaths.h"

namespace assets {

QString busyFramePath(int n) {
    if (n < 1 || n > kBusyFrameCount) return {};
    return QStringLiteral(":/tray/busy%1.png").arg(n, 2, 10, QLatin1Char('0'));
}

QString aboutFramePath(int n) {
    if (n < 1 || n > kAboutFrameCount) return {};
    return QStringLiteral(":/about/frame%1.png").arg(n);
}

QString twiceAsLarge(const QString& path) {
    if (!path.endsWith(QLatin1String(".png"))) return path;
    return path.chopped(4) + QLatin1String("@2x.png");
}

QString forScale(const QString& path, qreal ratio) {
    return ratio > 1.0 ? twiceAsLarge(path) : path;
}

QStringList trayStaticSizes() {
    return {QString::fromLatin1(kTrayStatic), QStringLiteral(":/tray/static-22.png"),
            QStringLiteral(":/tray/static-24.png"), twiceAsLarge(QString::fromLatin1(kTrayStatic)),
            QStringLiteral(":/tray/static-48.png")};
}

QStringList allPicturePaths() {
    QStringList paths{kTrayStatic,     kMenuGlyphs,      kTelephone,      kHello,
                      kFaceClosed,     kFaceOpen,        kFaceWide,       kChatSair,
                      kChatEmChat,     kChatDesconectar, kChatFecharUser, kChatUser,
                      kChatBackground, kConfigDesktop,   kConfigMenuBand, kConfigMenuPlain,
                      kConfigNote,     kConfigJester};
    for (int n = 1; n <= kBusyFrameCount; ++n)
        paths << busyFramePath(n);
    for (int n = 1; n <= kAboutFrameCount; ++n)
        paths << aboutFramePath(n);
    for (const QString& path : QStringList(paths))
        paths << twiceAsLarge(path);
    for (const QString& path : trayStaticSizes())
        if (!paths.contains(path)) paths << path;
    return paths;
}

} // namespace assets
