#include "chat/WindowPlacement.h"

#include "platform/system/SystemInfo.h"

#include <QGuiApplication>
#include <QStringList>
#include <cstdint>
#include <limits>

namespace chat {
namespace {

std::optional<int> toInt(const std::optional<QString>& text) {
    if (!text) return std::nullopt;
    bool ok = false;
    const int v = text->trimmed().toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

std::optional<QList<int>> toInts(const std::optional<QString>& text, int count) {
    if (!text) return std::nullopt;
    const QStringList parts = text->split(QLatin1Char(','));
    if (parts.size() != count) return std::nullopt;
    QList<int> values;
    for (const QString& p : parts) {
        bool ok = false;
        values.push_back(p.trimmed().toInt(&ok));
        if (!ok) return std::nullopt;
    }
    return values;
}

QString joinInts(std::initializer_list<int> values) {
    QStringList parts;
    for (int v : values)
        parts << QString::number(v);
    return parts.join(QLatin1Char(','));
}

} // namespace

PlacementStore::PlacementStore(QString iniPath, QString section, QString panelName)
    : path_(std::move(iniPath)), section_(std::move(section)),
      panelKey_(panelName + QStringLiteral("_Visible")) {}

QString PlacementStore::defaultIniPath() {
    return platform::configDirectory() + QStringLiteral("/falavox.ini");
}

StoredPlacement PlacementStore::read() const {
    IniFile ini(path_);
    ini.load();
    StoredPlacement stored;
    if (auto panel = ini.value(section_, panelKey_)) {
        if (panel->trimmed().compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
            stored.panelVisible = true;
        else if (panel->trimmed().compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
            stored.panelVisible = false;
    }
    const auto flags = toInt(ini.value(section_, QStringLiteral("Flags")));
    const auto showCmd = toInt(ini.value(section_, QStringLiteral("ShowCmd")));
    const auto minMax = toInts(ini.value(section_, QStringLiteral("MinMaxPos")), 4);
    const auto norm = toInts(ini.value(section_, QStringLiteral("NormPos")), 4);
    const auto ppi = toInt(ini.value(section_, QStringLiteral("PixelsPerInch")));
    if (!flags || !showCmd || !minMax || !norm || !ppi) return stored;
    const QList<int>& n = *norm;
    // A rectangle whose width or height does not fit in a number is no place either.
    const auto span = [](int from, int to) { return std::int64_t{to} - from; };
    if (span(n[0], n[2]) <= 0 || span(n[1], n[3]) <= 0 ||
        span(n[0], n[2]) > std::numeric_limits<int>::max() ||
        span(n[1], n[3]) > std::numeric_limits<int>::max())
        return stored;
    WindowPlacement p;
    p.flags = *flags;
    p.showCmd = *showCmd;
    p.minPosition = QPoint((*minMax)[0], (*minMax)[1]);
    p.maxPosition = QPoint((*minMax)[2], (*minMax)[3]);
    p.normalRect = QRect(QPoint(n[0], n[1]), QPoint(n[2] - 1, n[3] - 1));
    p.pixelsPerInch = *ppi;
    stored.placement = p;
    return stored;
}

bool PlacementStore::write(const WindowPlacement& p, bool panelVisible, bool destroying) const {
    IniFile ini(path_);
    ini.load();
    const QRect& r = p.normalRect;
    ini.setValue(section_, QStringLiteral("Flags"), QString::number(p.flags));
    ini.setValue(section_, QStringLiteral("ShowCmd"), QString::number(p.showCmd));
    ini.setValue(
        section_, QStringLiteral("MinMaxPos"),
        joinInts({p.minPosition.x(), p.minPosition.y(), p.maxPosition.x(), p.maxPosition.y()}));
    ini.setValue(section_, QStringLiteral("NormPos"),
                 joinInts({r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}));
    ini.setValue(section_, QStringLiteral("PixelsPerInch"), QString::number(p.pixelsPerInch));
    ini.setValue(section_, QStringLiteral("Visible"),
                 destroying ? QStringLiteral("1") : QStringLiteral("0"));
    ini.setValue(section_, panelKey_,
                 panelVisible ? QStringLiteral("True") : QStringLiteral("False"));
    return ini.save();
}

bool placementApplies(const WindowPlacement& stored, int currentPixelsPerInch) {
    return stored.pixelsPerInch == currentPixelsPerInch;
}

namespace {

std::optional<bool>& placesOverride() {
    static std::optional<bool> places;
    return places;
}

} // namespace

bool windowSystemPlacesWindows() {
    if (placesOverride()) return *placesOverride();
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void setWindowSystemPlacesWindows(std::optional<bool> places) {
    placesOverride() = places;
}

WindowPlacement keepStoredPosition(WindowPlacement current,
                                   const std::optional<WindowPlacement>& stored) {
    if (stored) {
        current.normalRect.moveTopLeft(stored->normalRect.topLeft());
        current.minPosition = stored->minPosition;
        current.maxPosition = stored->maxPosition;
    }
    return current;
}

} // namespace chat
