#include "base/decimal_separator.h"

#include <clocale>

namespace velmora {

char DecimalSeparatorOf(std::string_view localePoint) {
    if (localePoint.size() == 1 && static_cast<unsigned char>(localePoint[0]) < 0x80)
        return localePoint[0];
    return '.';
}

char LocaleDecimalSeparator() {
    std::setlocale(LC_NUMERIC, "");
    const char* point = std::localeconv()->decimal_point;
    const char sep = DecimalSeparatorOf(point ? point : "");
    std::setlocale(LC_NUMERIC, "C");
    return sep;
}

}  // namespace velmora
