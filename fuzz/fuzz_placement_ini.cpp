// A placement file of arbitrary bytes. Reading it gives a placement or none, never a crash;
// a placement that was read, written back, reads back the same.
#include "chat/WindowPlacement.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdlib>
#include <string>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

const QString& iniPath() {
    static const QString path = [] {
        const QString dir = QDir::tempPath() + QStringLiteral("/falavox-fuzz-placement-") +
                            QString::number(QCoreApplication::applicationPid());
        QDir().mkpath(dir);
        return dir + QStringLiteral("/falavox.ini");
    }();
    return path;
}

bool samePlacement(const chat::WindowPlacement& a, const chat::WindowPlacement& b) {
    return a.flags == b.flags && a.showCmd == b.showCmd && a.minPosition == b.minPosition &&
           a.maxPosition == b.maxPosition && a.normalRect == b.normalRect &&
           a.pixelsPerInch == b.pixelsPerInch;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        QFile file(iniPath());
        check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        check(file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) ==
              static_cast<qint64>(size));
    }
    const chat::PlacementStore store(iniPath(), QStringLiteral("TfrmChat"),
                                     QStringLiteral("frmUsuarios"));
    const chat::StoredPlacement stored = store.read();
    if (!stored.placement) return 0;
    chat::placementApplies(*stored.placement, 96);
    const bool panel = stored.panelVisible.value_or(true);
    check(store.write(*stored.placement, panel, false));
    const chat::StoredPlacement again = store.read();
    check(again.placement && samePlacement(*again.placement, *stored.placement));
    check(again.panelVisible == panel);
    return 0;
}
