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
    return paths;
}

} // namespace assets
