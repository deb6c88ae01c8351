#include "base/text.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(PrintableText, ControlsAndBidirectionalOverridesBecomeSpaces) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"\x1b]0;title\x07name", " ]0;title name"},
        {"line\r\nforged\t", "line  forged "},
        {"c1 \xC2\x9B"
         "31m",
         "c1  31m"},
        {"\xE2\x80\xAE"
         "txt.exe\xE2\x81\xA9",
         " txt.exe "},
        {"\xE2\x80\x8F\xD8\x9C\xE2\x81\xA6", "   "},
        {"Привет, é — “ok” \xE2\x80\xAF", "Привет, é — “ok” \xE2\x80\xAF"},
        {"cut \xE2\x80", "cut \xE2\x80"},
    };
    for (const auto& c : cases) EXPECT_EQ(PrintableText(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace velmora
