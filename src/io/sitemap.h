// Streaming sitemap reader: the "loc" texts of a sitemap file, without loading it whole.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace velmora::io {

struct TSitemapResult {
    enum TStatus { Ok, ParseError, NoUrlset };
    TStatus status = ParseError;
    // ParseError: the reader's message, to show after kMsgSitemapParseError.
    std::string error;
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
// to an entity is a ParseError). The whole file is checked for well-formedness, which wins
// over NoUrlset.
TSitemapResult ParseSitemap(const std::string& path);

}  // namespace velmora::io
