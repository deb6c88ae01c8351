// The shared UTF-8 decoder: what it accepts decides code page output, sitemap messages, the
// settings cut and the grid's text order alike.
#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

TEST(Utf8Decoder, DecodesWellFormedAndRejectsTheRest) {
    const struct {
        const char* name;
        std::string text;
        size_t pos;
        uint32_t codePoint;
        uint32_t length;  // 0: malformed
    } cases[] = {
        {"ascii", "a", 0, 'a', 1},
        {"two bytes", "\xD0\x96", 0, 0x416, 2},
        {"three bytes", "\xE2\x82\xAC", 0, 0x20AC, 3},
        {"four bytes", "\xF0\x9F\x98\x80", 0, 0x1F600, 4},
        {"highest", "\xF4\x8F\xBF\xBF", 0, 0x10FFFF, 4},
        {"after ascii", "x\xC3\xA9", 1, 0xE9, 2},
        {"overlong two", "\xC0\xAF", 0, 0, 0},
        {"overlong three", "\xE0\x80\xAF", 0, 0, 0},
        {"overlong four", "\xF0\x8F\xBF\xBF", 0, 0, 0},
        {"high surrogate", "\xED\xA0\x80", 0, 0, 0},
        {"low surrogate", "\xED\xBF\xBF", 0, 0, 0},
        {"last before surrogates", "\xED\x9F\xBF", 0, 0xD7FF, 3},
        {"above U+10FFFF", "\xF4\x90\x80\x80", 0, 0, 0},
        {"lone continuation", "\x80", 0, 0, 0},
        {"truncated at end", "\xE2\x82", 0, 0, 0},
        {"truncated by ascii", "\xE2\x82z", 0, 0, 0},
        {"invalid lead", "\xFF", 0, 0, 0},
    };
    for (const auto& c : cases) {
        const TUtf8Char ch = DecodeUtf8At(c.text, c.pos);
        EXPECT_EQ(ch.Length, c.length) << c.name;
        if (c.length) {
            EXPECT_EQ(ch.CodePoint, c.codePoint) << c.name;
        }
    }
}

}  // namespace
}  // namespace velmora
