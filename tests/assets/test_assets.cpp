#include "assets/AssetPaths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

// Expected sizes, written out here rather than taken from the library, so a wrong table in
// the library cannot agree with itself.
std::map<QString, QSize> expectedPictures() {
    std::map<QString, QSize> m{
        {":/tray/static.png", {16, 16}},         {":/menu/glyphs.png", {115, 16}},
        {":/app/telephone.png", {32, 32}},       {":/askchat/hello.png", {32, 32}},
        {":/askchat/face_closed.png", {16, 16}}, {":/askchat/face_open.png", {16, 16}},
        {":/askchat/face_wide.png", {16, 16}},   {":/chat/sair.png", {32, 32}},
        {":/chat/emchat.png", {32, 32}},         {":/chat/desconectar.png", {32, 32}},
        {":/chat/fecharuser.png", {10, 9}},      {":/chat/user.png", {16, 16}},
        {":/chat/BACKGROUND.png", {640, 125}},   {":/config/desktop.png", {274, 130}},
        {":/config/menu_band.png", {113, 100}},  {":/config/menu_plain.png", {113, 100}},
        {":/config/note.png", {32, 32}},         {":/config/jester.png", {32, 32}},
    };
    for (int n = 1; n <= 13; ++n)
        m[QStringLiteral(":/tray/busy%1.png").arg(n, 2, 10, QLatin1Char('0'))] = {16, 16};
    for (int n = 1; n <= 4; ++n)
        m[QStringLiteral(":/about/frame%1.png").arg(n)] = {64, 64};
    // Each drawn at twice its size too, and the tray icon at the sizes panels ask for.
    for (const auto& [path, size] : std::map<QString, QSize>(m))
        m[QString(path).replace(QStringLiteral(".png"), QStringLiteral("@2x.png"))] = size * 2;
    for (int size : {22, 24, 48})
        m[QStringLiteral(":/tray/static-%1.png").arg(size)] = {size, size};
    return m;
}

int opaquePixels(const QImage& img, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += qAlpha(img.pixel(x, y)) > 0 ? 1 : 0;
    return count;
}

QString scratchRoot() {
    const QByteArray env = qgetenv("FALAVOX_TEST_TMP");
    const QString root = env.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(env);
    QDir().mkpath(root);
    return root;
}

int runScript(const QStringList& args, QByteArray* errors = nullptr) {
    QProcess p;
    p.start(QStringLiteral(FALAVOX_PYTHON),
            QStringList{QStringLiteral(FALAVOX_ASSET_SCRIPT)} + args);
    if (!p.waitForFinished(120000)) return -1;
    if (errors) *errors = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

std::map<QString, QByteArray> filesUnder(const QString& root) {
    std::map<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[QDir(root).relativeFilePath(path)] = readAll(path);
    }
    return files;
}

} // namespace

TEST(Assets, everyPictureLoadsWithItsStatedSize) {
    for (const auto& [path, size] : expectedPictures()) {
        QImage img(path);
        ASSERT_FALSE(img.isNull()) << qPrintable(path);
        EXPECT_EQ(img.size(), size) << qPrintable(path);
        EXPECT_GT(opaquePixels(img, img.rect()), 0) << qPrintable(path) << " is blank";
    }
}

TEST(Assets, pathListMatchesWhatIsEmbedded) {
    QStringList expected;
    for (const auto& entry : expectedPictures())
        expected << entry.first;
    QStringList listed = assets::allPicturePaths();
    listed.sort();
    expected.sort();
    EXPECT_EQ(listed, expected);

    EXPECT_EQ(assets::busyFramePath(1), QStringLiteral(":/tray/busy01.png"));
    EXPECT_EQ(assets::busyFramePath(13), QStringLiteral(":/tray/busy13.png"));
    EXPECT_TRUE(assets::busyFramePath(0).isEmpty());
    EXPECT_TRUE(assets::busyFramePath(14).isEmpty());
    EXPECT_TRUE(assets::aboutFramePath(5).isEmpty());
    EXPECT_EQ(assets::forScale(assets::helloPath, 1.0), QStringLiteral(":/askchat/hello.png"));
    EXPECT_EQ(assets::forScale(assets::helloPath, 1.5), QStringLiteral(":/askchat/hello@2x.png"));
    EXPECT_EQ(QImage(assets::forScale(assets::helloPath, 2.0)).devicePixelRatio(), 2.0);
}

TEST(Assets, animationsMoveFromFrameToFrame) {
    for (int n = 1; n <= assets::busyFrameCount; ++n) {
        const QImage a(assets::busyFramePath(n));
        const QImage b(assets::busyFramePath(n % assets::busyFrameCount + 1));
        EXPECT_NE(a, b) << "busy frames " << n << " and the next are the same";
    }
    for (int n = 1; n < assets::aboutFrameCount; ++n)
        EXPECT_NE(QImage(assets::aboutFramePath(n)), QImage(assets::aboutFramePath(n + 1)));
    const QImage closed(assets::faceClosed), open(assets::faceOpen), wide(assets::faceWide);
    EXPECT_NE(closed, open);
    EXPECT_NE(open, wide);
    EXPECT_NE(closed, wide);
}

// At twice the size the pictures are drawn again, their slopes smoothed, not made of
// doubled pixels (which is what the toolkit would show without them).
TEST(Assets, twiceAsLargeIsNoPixelDoubling) {
    for (const char* path : {assets::trayStatic, assets::helloPath, assets::menuGlyphs}) {
        const QImage small(QString::fromLatin1(path));
        const QImage twice(assets::twiceAsLarge(QString::fromLatin1(path)));
        EXPECT_NE(twice.convertToFormat(QImage::Format_ARGB32),
                  small.scaled(small.size() * 2).convertToFormat(QImage::Format_ARGB32))
            << path;
    }
}

TEST(Assets, glyphStripHasSevenFilledCellsAndUnusedTail) {
    const QImage strip(assets::menuGlyphs);
    ASSERT_FALSE(strip.isNull());
    const int cell = strip.width() / assets::glyphCellCount;
    ASSERT_EQ(cell, 16);
    for (int i = 0; i < assets::glyphCellCount; ++i)
        EXPECT_GT(opaquePixels(strip, QRect(i * cell, 0, cell, 16)), 20) << "cell " << i;
    EXPECT_EQ(opaquePixels(strip, QRect(7 * cell, 0, strip.width() - 7 * cell, 16)), 0);
}

TEST(Assets, menuPreviewsDifferOnlyByTheTitleBand) {
    const QImage band(assets::configMenuBand), plain(assets::configMenuPlain);
    ASSERT_FALSE(band.isNull());
    ASSERT_FALSE(plain.isNull());
    // The band runs from lime at the top to dark green at the bottom.
    const QRgb top = band.pixel(5, 4), bottom = band.pixel(5, band.height() - 5);
    EXPECT_EQ(qRed(top), 0);
    EXPECT_GT(qGreen(top), 240);
    EXPECT_EQ(qBlue(top), 0);
    EXPECT_EQ(qGreen(bottom), 63);
    // Without the band the same spot is the menu's own grey face.
    EXPECT_EQ(plain.pixel(5, 4), qRgb(192, 192, 192));
}

TEST(Assets, chimeIsACompleteEightBitMonoWave) {
    const QByteArray wav = readAll(assets::chimePath);
    ASSERT_EQ(wav.size(), 9996);
    const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(wav.constData() + at); };
    const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(wav.constData() + at); };
    EXPECT_EQ(wav.mid(0, 4), QByteArray("RIFF"));
    EXPECT_EQ(u32(4), 9996u - 8u);
    EXPECT_EQ(wav.mid(8, 4), QByteArray("WAVE"));
    EXPECT_EQ(wav.mid(12, 4), QByteArray("fmt "));
    EXPECT_EQ(u32(16), 16u);
    EXPECT_EQ(u16(20), 1);      // PCM
    EXPECT_EQ(u16(22), 1);      // channels
    EXPECT_EQ(u32(24), 22050u); // samples per second
    EXPECT_EQ(u32(28), 22050u); // bytes per second
    EXPECT_EQ(u16(32), 1);      // block align
    EXPECT_EQ(u16(34), 8);      // bits per sample
    EXPECT_EQ(wav.mid(36, 4), QByteArray("data"));
    EXPECT_EQ(u32(40), 9952u);

    const auto sample = [&](int i) { return int(static_cast<unsigned char>(wav[44 + i])); };
    int low = 255, high = 0;
    for (int i = 0; i < 9952; ++i) {
        low = std::min(low, sample(i));
        high = std::max(high, sample(i));
    }
    EXPECT_LT(low, 90) << "too quiet to hear";
    EXPECT_GT(high, 166) << "too quiet to hear";
    // Unsigned samples centred on 128: starting and ending there means no click.
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(sample(i), 128, 2) << "sample " << i;
        EXPECT_NEAR(sample(9951 - i), 128, 2) << "sample " << 9951 - i;
    }
}

TEST(Assets, scriptIsReproducibleAndMatchesWhatIsEmbedded) {
    QTemporaryDir scratch(scratchRoot() + QStringLiteral("/assets-XXXXXX"));
    ASSERT_TRUE(scratch.isValid());
    const QString first = scratch.filePath(QStringLiteral("first"));
    const QString second = scratch.filePath(QStringLiteral("second"));
    QByteArray errors;
    ASSERT_EQ(runScript({first}, &errors), 0) << errors.constData();
    ASSERT_EQ(runScript({second}, &errors), 0) << errors.constData();

    const auto a = filesUnder(first), b = filesUnder(second);
    ASSERT_EQ(a.size(), expectedPictures().size() + 1);
    for (const auto& [name, bytes] : a) {
        ASSERT_TRUE(b.count(name)) << qPrintable(name);
        EXPECT_TRUE(bytes == b.at(name)) << qPrintable(name) << " differs between runs";
        EXPECT_TRUE(bytes == readAll(QStringLiteral(":/") + name))
            << qPrintable(name) << " differs from the embedded copy";
    }
}

TEST(Assets, scriptRefusesAMissingOutputFolderArgument) {
    QByteArray errors;
    EXPECT_NE(runScript({}, &errors), 0);
    EXPECT_TRUE(errors.contains("usage")) << errors.constData();
}
