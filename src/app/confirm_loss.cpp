#include "app/confirm_loss.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>

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

TImportChoice AskImportChoice(QWidget* parent, const QString& text, TImportChoice proposed) {
    QMessageBox box(QMessageBox::Question, parent ? parent->window()->windowTitle() : QString(),
                    text, QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("mbImportChoice"));
    QPushButton* add = box.addButton(TrQ("Добавить"), QMessageBox::AcceptRole);
    add->setObjectName(QStringLiteral("btImportAdd"));
    QPushButton* replace = box.addButton(TrQ("Заменить"), QMessageBox::DestructiveRole);
    replace->setObjectName(QStringLiteral("btImportReplace"));
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(proposed == TImportChoice::Replace ? replace : add);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == add       ? TImportChoice::Add
           : box.clickedButton() == replace ? TImportChoice::Replace
                                            : TImportChoice::Cancel;
}

}  // namespace velmora::app
