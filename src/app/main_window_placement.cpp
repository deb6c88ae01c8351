// The main window's size and place: fitted to the screen at first show, remembered on close
// and restored when it still fits the screens there are.
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include "app/main_window.h"
#include "app/window_placement.h"
#include "io/settings.h"

namespace velmora::app {

QMargins TfmMain::FrameMargins() const {
    const QRect f = frameGeometry(), g = geometry();
    const QMargins m(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(),
                     f.bottom() - g.bottom());
    return m.isNull() ? kTypicalFrame : m;
}

void TfmMain::PlaceInArea(const QRect& area) {
    const QMargins m = FrameMargins();
    setGeometry(FitFrame(geometry().marginsAdded(m), area).marginsRemoved(m));
}

void TfmMain::PlaceAtFirstShow() {
    const io::TWindowSettings stored = io::LoadWindowSettings(FSettingsPath.toStdString());
    QList<QRect> areas;
    for (const QScreen* s : QGuiApplication::screens()) areas << s->availableGeometry();
    bool restored = false;
    if (stored.Geometry) {
        const auto& g = *stored.Geometry;
        const QRect client(g[0], g[1], g[2], g[3]);
        // A place remembered on a screen that is gone, or larger than this one, is not used.
        if (FitsOnAScreen(client.marginsAdded(FrameMargins()), areas)) {
            setGeometry(client);
            restored = true;
        }
    }
    if (!restored)
        if (QScreen* screen = this->screen()) PlaceInArea(screen->availableGeometry());
    // A maximized window was as large as its screen: its remembered place may not fit with a
    // frame, but the state is restored all the same.
    if (stored.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
    FStoredGeometry = stored.Geometry ? QRect((*stored.Geometry)[0], (*stored.Geometry)[1],
                                              (*stored.Geometry)[2], (*stored.Geometry)[3])
                                      : QRect();
    FStoredMaximized = stored.Maximized;
    FPlacedGeometry = geometry();
    // The real frame is known once the window manager has decorated the window; a title bar
    // taller than guessed must still not push the window over the edge.
    QTimer::singleShot(300, this, [this] {
        QScreen* screen = this->screen();
        if (!screen || isMaximized() || isFullScreen()) return;
        if (!screen->availableGeometry().contains(frameGeometry())) {
            PlaceInArea(screen->availableGeometry());
            FPlacedGeometry = geometry();
        }
    });
}

void TfmMain::SaveWindowPlacement() {
    if (!KeepsSettings()) return;
    const QRect normal = isMaximized() ? normalGeometry() : geometry();
    const bool maximized = isMaximized();
    // Nothing moved since the window was placed: the file stays as it was.
    if (normal == FPlacedGeometry && maximized == FStoredMaximized) return;
    if (normal == FStoredGeometry && maximized == FStoredMaximized) return;
    const TResult<> written = io::SaveWindowGeometry(
        FSettingsPath.toStdString(), {normal.x(), normal.y(), normal.width(), normal.height()},
        maximized);
    if (!written)
        QMessageBox::critical(this, windowTitle(), QString::fromStdString(written.Error()));
}

}  // namespace velmora::app
