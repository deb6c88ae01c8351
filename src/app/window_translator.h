// Translation of a window's design texts: every caption, title, hint, tab and column text is
// remembered as designed and replaced by its translation; later calls translate the remembered
// texts again, so switching the language needs no list of controls.
#pragma once

#include <QSet>
#include <QString>

class QLabel;
class QWidget;

namespace velmora::app {

class TWindowTranslator {
  public:
    // Components with these object names, and everything inside them, are left alone.
    void Exclude(const QString& objectName) { FExcluded.insert(objectName); }
    // Translates (first call) or retranslates (later calls) the design texts under root.
    void TranslateComponent(QWidget* root) const;

  private:
    bool IsExcluded(const QWidget* w, const QWidget* root) const;
    QSet<QString> FExcluded;
};

// Link labels keep "<a>text</a>" as their design text; the shown text gets a target.
void SetLinkLabelText(QLabel* label, const QString& text);

}  // namespace velmora::app
