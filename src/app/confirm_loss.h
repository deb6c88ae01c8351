// The questions the window asks before the URL list or its results would be lost.
#pragma once

#include <QString>

class QWidget;

namespace velmora::app {

// Asks text with Yes and No (the default: Enter and Esc) and a "don't ask again" box. True
// for yes; *dontAskAgain tells whether the box was ticked.
bool AskBeforeLoss(QWidget* parent, const QString& text, bool* dontAskAgain);

// What an import does with the URLs already listed.
enum class TImportChoice { Add, Replace, Cancel };

// Asks text with Add, Replace and Cancel (Esc); proposed is the default button (Enter).
TImportChoice AskImportChoice(QWidget* parent, const QString& text, TImportChoice proposed);

}  // namespace velmora::app
