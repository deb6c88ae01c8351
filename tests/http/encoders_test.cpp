#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "http/curl.h"

namespace velmora::http {
namespace {

struct TBuildCase {
    const char* what;
    // No base: the single parameter's name goes through EncodeQueryPart alone.
    std::optional<std::string_view> base;
    std::vector<std::pair<std::string_view, std::string_view>> params;
    std::string_view expected;
};

TEST(GetBuilder, EncodesAndJoinsParameters) {
    const std::string_view kEndpoint = "https://www.googleapis.com/pagespeedonline/v5/runPagespeed";
    const TBuildCase cases[] = {
        {"space is %20, never +", {}, {{"a b", ""}}, "a%20b"},
        {"plus", {}, {{"a+b", ""}}, "a%2Bb"},
        {"colon escaped, slash kept", {}, {{"http://x/y", ""}}, "http%3A//x/y"},
        {"query delimiters", {}, {{"?=&", ""}}, "%3F%3D%26"},
        {"percent", {}, {{"100%", ""}}, "100%25"},
        {"marks that stay", {}, {{"~-_.()*!$,@[]", ""}}, "~-_.()*!$,@[]"},
        {"UTF-8 byte by byte", {}, {{"caf\xC3\xA9", ""}}, "caf%C3%A9"},
        {"hash, quote, controls, DEL", {}, {{"#\"\t\x7F", ""}}, "%23%22%09%7F"},
        {"NUL byte", {}, {{std::string_view("a\0b", 3), ""}}, "a%00b"},
        {"unchanged input", {}, {{"AZaz09", ""}}, "AZaz09"},
        {"empty input", {}, {{"", ""}}, ""},
        {"base without ? and three params",
         kEndpoint,
         {{"strategy", "desktop"}, {"category", "performance"}, {"url", "https://ex.com/?q=1 2"}},
         "https://www.googleapis.com/pagespeedonline/v5/runPagespeed?strategy=desktop"
         "&category=performance&url=https%3A//ex.com/%3Fq%3D1%202"},
        {"base with ? gets & first", "http://h/p?x=1", {{"a", "b"}}, "http://h/p?x=1&a=b"},
        {"base kept verbatim", "http://h/a b", {}, "http://h/a b"},
        {"empty value", "http://h/", {{"KEY", ""}}, "http://h/?KEY="},
        {"name encoded too", "http://h/", {{"a&b", "c=d"}}, "http://h/?a%26b=c%3Dd"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.base) {
            EXPECT_EQ(EncodeQueryPart(c.params.at(0).first), c.expected);
            continue;
        }
        auto builder = NewGetBuilder(*c.base);
        for (const auto& [name, value] : c.params) builder->Param(name, value);
        EXPECT_EQ(builder->Build(), c.expected);
        // Build does not consume: a second call yields the same URL.
        EXPECT_EQ(builder->Build(), c.expected);
    }
}

TEST(GetBuilder, ExactlySeventySixBytesPassUnchanged) {
    const std::string_view kept =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!$()*,-./@[]_~";
    ASSERT_EQ(kept.size(), 76u);
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (int b = 0; b < 256; ++b) {
        const std::string in(1, static_cast<char>(b));
        const std::string expected = kept.find(in[0]) != std::string_view::npos
                                         ? in
                                         : std::string{'%', kHex[b >> 4], kHex[b & 15]};
        EXPECT_EQ(EncodeQueryPart(in), expected) << "byte " << b;
    }
}

}  // namespace
}  // namespace velmora::http
