#include "app/range_spin_box.h"

namespace velmora::app {

QValidator::State TRangeSpinBox::validate(QString& text, int& /*pos*/) const {
    const QString t = text.trimmed();
    if (t.isEmpty()) return QValidator::Intermediate;
    // Nine digits keep the number within an int before it is clamped.
    if (t.size() > 9) return QValidator::Invalid;
    for (QChar c : t)
        if (c < u'0' || c > u'9') return QValidator::Invalid;
    return QValidator::Acceptable;
}

int TRangeSpinBox::valueFromText(const QString& text) const {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok) return minimum();
    return qBound(minimum(), v, maximum());
}

}  // namespace velmora::app
