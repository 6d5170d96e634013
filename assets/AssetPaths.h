#pragma once

#include <QString>
#include <QStringList>

// Resource paths of the pictures and the chime that falavox_assets embeds. Linking the
// library is enough to make them loadable; no initialisation call is needed.
namespace assets {

inline constexpr char trayStatic[] = ":/tray/static.png";
inline constexpr char menuGlyphs[] = ":/menu/glyphs.png";
inline constexpr char telephonePath[] = ":/app/telephone.png";
inline constexpr char helloPath[] = ":/askchat/hello.png";
inline constexpr char faceClosed[] = ":/askchat/face_closed.png";
inline constexpr char faceOpen[] = ":/askchat/face_open.png";
inline constexpr char faceWide[] = ":/askchat/face_wide.png";
inline constexpr char chimePath[] = ":/sound/WAVE1.wav";
inline constexpr char chatSair[] = ":/chat/sair.png";
inline constexpr char chatEmChat[] = ":/chat/emchat.png";
inline constexpr char chatDesconectar[] = ":/chat/desconectar.png";
inline constexpr char chatFecharUser[] = ":/chat/fecharuser.png";
inline constexpr char chatUser[] = ":/chat/user.png";
inline constexpr char chatBackground[] = ":/chat/BACKGROUND.png";
inline constexpr char configDesktop[] = ":/config/desktop.png";
inline constexpr char configMenuBand[] = ":/config/menu_band.png";
inline constexpr char configMenuPlain[] = ":/config/menu_plain.png";
inline constexpr char configNote[] = ":/config/note.png";
inline constexpr char configJester[] = ":/config/jester.png";

inline constexpr int busyFrameCount = 13;
inline constexpr int aboutFrameCount = 4;
inline constexpr int glyphCellCount = 7;

// Frame n of the tray's busy animation, n from 1 to busyFrameCount; an empty string
// outside that range, which loads as a null pixmap rather than a wrong frame.
QString busyFramePath(int n);

// Frame n of the About box animation, n from 1 to aboutFrameCount; empty outside.
QString aboutFramePath(int n);

// The drawing of the picture at `path` at twice its size ("name@2x.png"), which every
// picture has; loaded, it says it is for a device pixel ratio of 2.
QString twiceAsLarge(const QString& path);

// The drawing of `path` for screens that scale by `ratio` (QGuiApplication's
// devicePixelRatio(), the largest of its screens'): twice as large above 1, so the toolkit
// shrinks a sharp picture where a screen scales by less instead of blowing a small one up.
QString forScale(const QString& path, qreal ratio);

// The static tray icon at every size it is drawn at, 16 to 48 pixels, smallest first.
QStringList trayStaticSizes();

// Every embedded picture (not the chime), each size of each, in a fixed order.
QStringList allPicturePaths();

} // namespace assets
