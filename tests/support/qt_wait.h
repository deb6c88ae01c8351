// Waiting in widget tests without blocking the event loop.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <functional>

namespace velmora::test {

// Pumps events until pred holds or timeoutMs passes.
inline bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 20000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

}  // namespace velmora::test
