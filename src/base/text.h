// ASCII-only text helpers; names and keys are compared this way so no locale can change them.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// s with A..Z turned to a..z; every other byte unchanged.
std::string AsciiLower(std::string_view s);

// Text that others wrote (a service's answer, a run's name on a shared history), made safe for
// a terminal or a log: control characters (C0, DEL, and C1 in UTF-8) and the bidirectional
// controls (U+061C, U+200E/F, U+202A..U+202E, U+2066..U+2069) become spaces, so it can neither
// send escape sequences, nor forge or clear lines, nor show itself reversed.
std::string PrintableText(std::string_view text);

// Text that came from the network, made safe to log, show or export: the value of every
// "key=" (any case) becomes "***", and it is made PrintableText, so a hostile answer can
// neither leak the API key nor forge or clear log lines.
std::string SafeNetworkText(std::string_view text);

}  // namespace velmora
