#include "base/text.h"

namespace velmora {

std::string AsciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

namespace {

// A key's value ends where a query parameter, a quoted string or a word would end.
bool EndsKeyValue(char c) {
    const auto u = static_cast<unsigned char>(c);
    return c == '&' || c == '#' || c == '"' || c == '\'' || c == ' ' || c == ',' || c == ';' ||
           c == ')' || c == '>' || u < 0x20 || u == 0x7F;
}

// "key=" preceded by nothing or a non-identifier byte, so "monkey=" is left alone.
bool KeyParamAt(std::string_view text, size_t i) {
    if (i + 4 > text.size()) return false;
    if (AsciiLower(text.substr(i, 4)) != "key=") return false;
    if (i == 0) return true;
    const char before = text[i - 1];
    const bool word = (before >= 'a' && before <= 'z') || (before >= 'A' && before <= 'Z') ||
                      (before >= '0' && before <= '9') || before == '_' || before == '-';
    return !word;
}

}  // namespace

std::string SafeNetworkText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (KeyParamAt(text, i)) {
            out.append(text.substr(i, 4));
            i += 4;
            const size_t start = i;
            while (i < text.size() && !EndsKeyValue(text[i])) ++i;
            if (i > start) out += "***";
            continue;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            out += ' ';
            ++i;
        } else if (c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            out += ' ';  // U+0080..U+009F, which terminals also obey
            i += 2;
        } else {
            out += text[i];
            ++i;
        }
    }
    return out;
}

}  // namespace velmora
