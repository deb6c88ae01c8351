// An integer spin box that lets typing leave a number outside its range and brings the number
// into range when the box loses the focus, as the settings page expects.
#pragma once

#include <QSpinBox>

namespace velmora::app {

class TRangeSpinBox : public QSpinBox {
    Q_OBJECT
  public:
    using QSpinBox::QSpinBox;

  protected:
    QValidator::State validate(QString& text, int& pos) const override;
    int valueFromText(const QString& text) const override;
};

}  // namespace velmora::app
