// The request URL builder: every byte of a name or value must come back from the query, and
// only the 76 unreserved bytes may appear raw.
//
// Input: base URL \x1e name \x1e value \x1e name \x1e value ...
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "http/curl.h"

using namespace velmora::http;

namespace {

bool Unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("!$()*,-./@[]_~").find(static_cast<char>(c)) != std::string_view::npos;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower-case hex is not what the encoder writes
}

// Decodes an encoded part, insisting on the encoder's exact form: unreserved bytes raw,
// everything else as %XX with upper-case hex.
std::string Decode(std::string_view enc) {
    std::string out;
    for (size_t i = 0; i < enc.size(); ++i) {
        const auto c = static_cast<unsigned char>(enc[i]);
        if (c != '%') {
            FUZZ_CHECK(Unreserved(c), "byte 0x%02X raw in '%.*s'", c, int(enc.size()), enc.data());
            out += enc[i];
            continue;
        }
        FUZZ_CHECK(i + 2 < enc.size(), "cut escape in '%.*s'", int(enc.size()), enc.data());
        const int hi = HexValue(enc[i + 1]), lo = HexValue(enc[i + 2]);
        FUZZ_CHECK(hi >= 0 && lo >= 0, "bad escape in '%.*s'", int(enc.size()), enc.data());
        const auto b = static_cast<unsigned char>(hi * 16 + lo);
        FUZZ_CHECK(!Unreserved(b), "unreserved byte 0x%02X escaped", b);
        out += static_cast<char>(b);
        i += 2;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(Decode(EncodeQueryPart(in)) == in, "EncodeQueryPart does not round-trip");

    const auto parts = fuzz::SplitParts(in, "\x1e");
    const std::string_view base = parts[0];
    auto builder = NewGetBuilder(base);
    std::vector<std::pair<std::string_view, std::string_view>> params;
    for (size_t i = 1; i + 1 < parts.size(); i += 2) {
        builder->Param(parts[i], parts[i + 1]);
        params.emplace_back(parts[i], parts[i + 1]);
    }
    const std::string url = builder->Build();
    FUZZ_CHECK(url.compare(0, base.size(), base) == 0, "base URL changed");
    std::string_view query = std::string_view(url).substr(base.size());
    if (params.empty()) {
        FUZZ_CHECK(query.empty(), "query without parameters");
        return 0;
    }
    // The first parameter opens the query unless the base already has one.
    const char first = base.find('?') == std::string_view::npos ? '?' : '&';
    FUZZ_CHECK(!query.empty() && query[0] == first, "query starts with the wrong separator");
    query.remove_prefix(1);
    const auto pairs = fuzz::SplitParts(query, "&");
    FUZZ_CHECK(pairs.size() == params.size(), "%zu pairs for %zu parameters", pairs.size(),
               params.size());
    for (size_t i = 0; i < pairs.size(); ++i) {
        const size_t eq = pairs[i].find('=');
        FUZZ_CHECK(eq != std::string_view::npos, "pair %zu without '='", i);
        FUZZ_CHECK(Decode(pairs[i].substr(0, eq)) == params[i].first, "name %zu differs", i);
        FUZZ_CHECK(Decode(pairs[i].substr(eq + 1)) == params[i].second, "value %zu differs", i);
    }
    return 0;
}
