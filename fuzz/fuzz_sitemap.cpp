// Sitemap files as anyone may hand them over: well-formedness, entity tricks, namespaces.
#include <cstdint>
#include <string>

#include "fuzz_util.h"
#include "io/sitemap.h"

using velmora::io::ParseSitemap;
using velmora::io::TSitemapResult;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader only takes a path, so every input goes through a scratch file.
    static const std::string path = fuzz::ScratchPath("sitemap.xml");
    fuzz::WriteFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
    const TSitemapResult r = ParseSitemap(path);
    fuzz::CheckNoFdLeak(path);

    switch (r.status) {
        case TSitemapResult::ParseError:
            // The progress counts are meaningless here and may be left as they were.
            FUZZ_CHECK(!r.error.empty(), "parse error without a message");
            FUZZ_CHECK(r.locs.empty(), "parse error with %zu locs", r.locs.size());
            break;
        case TSitemapResult::NoUrlset:
            FUZZ_CHECK(r.locs.empty() && r.urlsetChildCount == 0 && r.urlWithLocCount == 0,
                       "no urlset, yet %zu locs, counts %zu/%zu", r.locs.size(), r.urlsetChildCount,
                       r.urlWithLocCount);
            break;
        case TSitemapResult::Ok:
            FUZZ_CHECK(r.locs.size() <= r.urlWithLocCount, "%zu locs, %zu url with loc",
                       r.locs.size(), r.urlWithLocCount);
            FUZZ_CHECK(r.urlWithLocCount <= r.urlsetChildCount, "%zu url with loc, %zu children",
                       r.urlWithLocCount, r.urlsetChildCount);
            break;
        default:
            FUZZ_CHECK(false, "status %d", r.status);
    }
    FUZZ_CHECK(fuzz::Utf8Ok(r.error), "message not UTF-8: %s", r.error.c_str());
    for (const std::string& loc : r.locs) {
        FUZZ_CHECK(!loc.empty(), "empty loc");
        FUZZ_CHECK(static_cast<unsigned char>(loc.front()) >= 33 &&
                       static_cast<unsigned char>(loc.back()) >= 33,
                   "loc not trimmed: '%s'", loc.c_str());
        FUZZ_CHECK(fuzz::Utf8Ok(loc), "loc not UTF-8");
    }
    return 0;
}
