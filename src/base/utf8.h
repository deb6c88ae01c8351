// The one UTF-8 decoder of the program. Inline because the grid sort calls it per byte.
#pragma once

#include <cstdint>
#include <string_view>

namespace velmora {

struct TUtf8Char {
    uint32_t CodePoint = 0;
    uint32_t Length = 0;  // bytes used; 0 when the text is malformed at that position
};

// Decodes the character at s[pos] (pos < s.size()). Well-formed only: no overlong forms, no
// surrogates, nothing above U+10FFFF, no sequence cut short by the end of s.
inline TUtf8Char DecodeUtf8At(std::string_view s, size_t pos) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(pos);
    if (c < 0x80) return {c, 1};
    uint32_t len;
    uint32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1Fu;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0Fu;
        if (c == 0xE0) lo = 0xA0;  // overlong
        if (c == 0xED) hi = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07u;
        if (c == 0xF0) lo = 0x90;  // overlong
        if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
        return {};
    }
    if (pos + len > s.size()) return {};
    if (b(pos + 1) < lo || b(pos + 1) > hi) return {};
    for (size_t k = 1; k < len; ++k) {
        const unsigned char cc = b(pos + k);
        if ((cc & 0xC0u) != 0x80u) return {};
        cp = (cp << 6) | (cc & 0x3Fu);
    }
    return {cp, len};
}

bool IsValidUtf8(std::string_view s);

}  // namespace velmora
