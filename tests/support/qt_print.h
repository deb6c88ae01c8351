// Readable GoogleTest failure messages for Qt values.
#pragma once

#include <QColor>
#include <QString>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

inline void PrintTo(const QColor& c, std::ostream* os) {
    *os << c.name(QColor::HexArgb).toStdString();
}
