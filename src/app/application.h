// The QApplication of the program: an error escaping an event handler is shown in a message
// box and the event loop carries on.
#pragma once

#include <QApplication>

namespace velmora::app {

class TVelmoraApplication : public QApplication {
    Q_OBJECT
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace velmora::app
