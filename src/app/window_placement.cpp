#include "app/window_placement.h"

namespace velmora::app {

QRect FitFrame(QRect frame, const QRect& area) {
    frame.setSize(frame.size().boundedTo(area.size()));
    frame.moveCenter(area.center());
    // An odd size can put the centre half a pixel off; the title bar must stay on the screen.
    if (frame.top() < area.top()) frame.moveTop(area.top());
    if (frame.left() < area.left()) frame.moveLeft(area.left());
    return frame;
}

bool FitsOnAScreen(const QRect& frame, const QList<QRect>& areas) {
    for (const QRect& area : areas)
        if (area.contains(frame)) return true;
    return false;
}

}  // namespace velmora::app
