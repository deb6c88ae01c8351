// The decimal separator the locale writes numbers with, as the workers put it into values.
#pragma once

#include <string_view>

namespace velmora {

// The locale's decimal point when it is one ASCII character, else '.'.
char DecimalSeparatorOf(std::string_view localePoint);

// DecimalSeparatorOf the C library's idea of the environment's LC_NUMERIC. Call it before any
// worker starts: it switches LC_NUMERIC for a moment and puts back "C".
char LocaleDecimalSeparator();

}  // namespace velmora
