// ASCII-only text helpers; names and keys are compared this way so no locale can change them.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// s with A..Z turned to a..z; every other byte unchanged.
std::string AsciiLower(std::string_view s);

}  // namespace velmora
