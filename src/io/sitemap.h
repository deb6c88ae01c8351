// Streaming sitemap reader: the "loc" texts of a sitemap file, without loading it whole.
#pragma once

#include <cstddef>
#include <string>
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
};

// "urlset" is the root element matched by local name; "url" are its child elements with the
// local name "url" in the namespace of "urlset" (so prefixed sitemaps work too); "loc" is the
// first child element of "url" with that local name and namespace. Text comes from text and
// CDATA nodes only: no network, no external entities, no entity expansion (a "loc" that refers
// to an entity fails). The whole file is checked for well-formedness, which wins
// over a missing "urlset". On failure Error() is the translated message to show: either
// kMsgSitemapParseError followed by the reader's message, or kMsgSitemapNoUrlset.
TResult<TSitemap> ParseSitemap(const std::string& path);

}  // namespace velmora::io
