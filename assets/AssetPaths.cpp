#include "assets/AssetPaths.h"

namespace assets {

QString busyFramePath(int n) {
    if (n < 1 || n > busyFrameCount) return {};
    return QStringLiteral(":/tray/busy%1.png").arg(n, 2, 10, QLatin1Char('0'));
}

QString aboutFramePath(int n) {
    if (n < 1 || n > aboutFrameCount) return {};
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
    return {QString::fromLatin1(trayStatic), QStringLiteral(":/tray/static-22.png"),
            QStringLiteral(":/tray/static-24.png"), twiceAsLarge(QString::fromLatin1(trayStatic)),
            QStringLiteral(":/tray/static-48.png")};
}

QStringList allPicturePaths() {
    QStringList paths{trayStatic,      menuGlyphs, telephonePath,  helloPath,     faceClosed,
                      faceOpen,        faceWide,   chatSair,       chatEmChat,    chatDesconectar,
                      chatFecharUser,  chatUser,   chatBackground, configDesktop, configMenuBand,
                      configMenuPlain, configNote, configJester};
    for (int n = 1; n <= busyFrameCount; ++n)
        paths << busyFramePath(n);
    for (int n = 1; n <= aboutFrameCount; ++n)
        paths << aboutFramePath(n);
    for (const QString& path : QStringList(paths))
        paths << twiceAsLarge(path);
    for (const QString& path : trayStaticSizes())
        if (!paths.contains(path)) paths << path;
    return paths;
}

} // namespace assets
