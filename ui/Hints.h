#pragma once

namespace ui {

// How the program's hints look and last: a hint stays up this long, and is drawn as a
// rectangle with a shadow this many pixels deep, without a tail, its text centred.
constexpr int hintShownMs = 10000;
constexpr int hintShadow = 3;

// Makes every hint that the program draws itself (the tooltips of its widgets, and the
// tray icon's where the program draws its own tray icon) a hint of that look. Where a
// StatusNotifierItem host shows the tray icon, the host draws the icon's hint.
void useProgramHints();

} // namespace ui
