// ASCII-only text helpers; names and keys are compared this way so no locale can change them.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// s with A..Z turned to a..z; every other byte unchanged.
std::string AsciiLower(std::string_view s);

// Text that came from the network, made safe to log, show or export: the value of every
// "key=" (any case) becomes "***", and control characters (C0, DEL, and C1 in UTF-8) become
// spaces, so a hostile answer can neither leak the API key nor forge or clear log lines.
std::string SafeNetworkText(std::string_view text);

}  // namespace velmora
