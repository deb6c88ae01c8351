#include "app/application.h"

#include <QMessageBox>
#include <exception>

namespace velmora::app {

bool TVelmoraApplication::notify(QObject* receiver, QEvent* event) {
    QString message;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error");
    }
    QMessageBox::critical(activeWindow(), applicationDisplayName(), message);
    return false;
}

}  // namespace velmora::app
