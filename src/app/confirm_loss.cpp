#include "app/confirm_loss.h"

#include <QCheckBox>
#include <QMessageBox>

#include "app/translate.h"

namespace velmora::app {

bool AskBeforeLoss(QWidget* parent, const QString& text, bool* dontAskAgain) {
    QMessageBox box(QMessageBox::Question, parent ? parent->window()->windowTitle() : QString(),
                    text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName(QStringLiteral("mbConfirmLoss"));
    // A loss needs a deliberate yes: Enter out of habit keeps everything.
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    auto* again = new QCheckBox(TrQ("Больше не спрашивать"), &box);
    again->setObjectName(QStringLiteral("cbDontAskAgain"));
    box.setCheckBox(again);
    const bool yes = box.exec() == QMessageBox::Yes;
    if (dontAskAgain) *dontAskAgain = again->isChecked();
    return yes;
}

}  // namespace velmora::app
