#pragma once

#include "chat/IniFile.h"

#include <QPoint>
#include <QRect>
#include <QString>
#include <optional>

namespace chat {

// A window's placement as it is stored: the show command (1 normal, 2 minimised,
// 3 maximised), the minimised and maximised positions, and the normal rectangle with
// right and bottom lying just outside it.
struct WindowPlacement {
    int flags = 0;
    int showCmd = 1;
    QPoint minPosition{-1, -1};
    QPoint maxPosition{-1, -1};
    QRect normalRect; // outer frame of the restored window
    int pixelsPerInch = 96;
};

struct StoredPlacement {
    std::optional<WindowPlacement> placement; // absent when the stored values are incomplete
    std::optional<bool> panelVisible;
};

// Keeps one window's placement and the visibility of one of its panels in a section of
// the INI file, under the keys "Flags", "ShowCmd", "MinMaxPos", "NormPos",
// "PixelsPerInch", "Visible" and panel + "_Visible".
class PlacementStore {
public:
    PlacementStore(QString iniPath, QString section, QString panelName);

    StoredPlacement read() const;
    // `destroying`: the values are saved as the window is destroyed ("Visible" 1).
    bool write(const WindowPlacement& placement, bool panelVisible, bool destroying) const;

    // The placement file of the program: falavox.ini in the configuration folder.
    static QString defaultIniPath();

private:
    QString path_;
    QString section_;
    QString panelKey_;
};

// Whether a stored position and size may be used on this screen: only when it was saved
// at the same pixels per inch.
bool placementApplies(const WindowPlacement& stored, int currentPixelsPerInch);

// Whether the window system places the program's windows itself and neither tells nor
// takes their positions (Wayland). There only the size is restored and stored; the
// position in the file stays what it was, for the next session under X11. Tests set
// the answer; std::nullopt puts back the platform's.
bool windowSystemPlacesWindows();
void setWindowSystemPlacesWindows(std::optional<bool> places);

// The placement to store for a window of which only the size is known: `current` with
// the position of `stored` when there is one.
WindowPlacement keepStoredPosition(WindowPlacement current,
                                   const std::optional<WindowPlacement>& stored);

} // namespace chat
