// Streaming sitemap reader: the "loc" texts of a sitemap file, without loading it whole.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace velmora::io {

struct TSitemap {
    // Progress maximum: the child nodes of "urlset" (elements, comments, processing
    // instructions, text), leaving out whitespace between elements as a DOM reader does.
    size_t urlsetChildCount = 0;
    // Progress steps: "url" entries that have a "loc", empty or not.
    size_t urlWithLocCount = 0;
    // In document order, one per "url" whose first "loc" has text; surrounding whitespace
    // (pretty-printed sitemaps) is stripped, the rest is unchanged.
    std::vector<std::string> locs;
    // The root is "sitemapindex": locs are the addresses of its "sitemap" entries.
    bool isIndex = false;
};

// The sitemap protocol's limits for one file.
inline constexpr size_t kMaxSitemapUrls = 50'000;
inline constexpr size_t kMaxSitemapBytes = 50u * 1024 * 1024;

struct TSitemapLimits {
    size_t maxUrls = kMaxSitemapUrls;
    size_t maxBytes = kMaxSitemapBytes;  // uncompressed
    std::function<bool()> aborted;       // checked as the bytes are read
};

// "urlset" (or "sitemapindex" with "sitemap" entries) is the root element matched by local name;
// "url" are its child elements with the local name "url" in the namespace of "urlset" (so prefixed
// sitemaps work too); "loc" is the first child element of "url" with that local name and namespace.
// Text comes from text and CDATA nodes only: no network, no external entities, no entity expansion
// (a "loc" that refers to an entity fails). The whole file is checked for well-formedness, which
// wins over a missing "urlset". On failure Error() is the translated message to show: either
// kMsgSitemapParseError followed by the reader's message, or kMsgSitemapNoUrlset.
// A gzip-compressed file is read whole and parsed as ParseSitemapBytes does; a plain one is
// streamed. Either keeps the protocol's limits (kMaxSitemapUrls, kMaxSitemapBytes).
TResult<TSitemap> ParseSitemap(const std::string& path);

// The same from memory, plain or gzip-compressed, within the limits; name is for messages.
// Passing a limit fails with kMsgSitemapTooManyUrls or kMsgSitemapTooLarge.
TResult<TSitemap> ParseSitemapBytes(std::string_view bytes, const std::string& name,
                                    const TSitemapLimits& limits);

}  // namespace velmora::io
