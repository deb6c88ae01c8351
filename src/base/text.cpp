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

// Bytes of the control character at text[i] that PrintableText replaces, or 0.
size_t ControlLength(std::string_view text, size_t i) {
    const auto b = [&](size_t k) {
        return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u;
    };
    const unsigned c = b(i);
    if (c < 0x20 || c == 0x7F) return 1;
    if (c == 0xC2 && b(i + 1) >= 0x80 && b(i + 1) <= 0x9F) return 2;  // U+0080..U+009F
    if (c == 0xD8 && b(i + 1) == 0x9C) return 2;                      // U+061C
    if (c != 0xE2) return 0;
    const unsigned c1 = b(i + 1), c2 = b(i + 2);
    if (c1 == 0x80 && (c2 == 0x8E || c2 == 0x8F || (c2 >= 0xAA && c2 <= 0xAE))) return 3;
    if (c1 == 0x81 && c2 >= 0xA6 && c2 <= 0xA9) return 3;  // U+2066..U+2069
    return 0;
}

}  // namespace

std::string PrintableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (const size_t n = ControlLength(text, i)) {
            out += ' ';
            i += n;
        } else {
            out += text[i++];
        }
    }
    return out;
}

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
        const size_t n = ControlLength(text, i);
        out += n ? ' ' : text[i];
        i += n ? n : 1;
    }
    return out;
}

}  // namespace velmora
