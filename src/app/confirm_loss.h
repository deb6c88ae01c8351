// The one question the window asks before results would be lost.
#pragma once

#include <QString>

class QWidget;

namespace velmora::app {

// Asks text with Yes and No (the default: Enter and Esc) and a "don't ask again" box. True
// for yes; *dontAskAgain tells whether the box was ticked.
bool AskBeforeLoss(QWidget* parent, const QString& text, bool* dontAskAgain);

}  // namespace velmora::app
