// Where the main window may go: inside the screen's free area, title bar always reachable.
#pragma once

#include <QList>
#include <QMargins>
#include <QRect>

namespace velmora::app {

// The frame a window manager typically adds, for as long as the real one is not known.
inline constexpr QMargins kTypicalFrame{4, 30, 4, 4};

// frame made no larger than area, centred in it, its top and left edges never outside it.
QRect FitFrame(QRect frame, const QRect& area);

// Whether the whole frame lies in the free area of one of the screens.
bool FitsOnAScreen(const QRect& frame, const QList<QRect>& areas);

}  // namespace velmora::app
