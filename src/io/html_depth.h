// Bounds how deep the elements of a page nest before the HTML parser sees it. gumbo's time
// grows with the square of the nesting (each new block scans the open elements), so a hostile
// page of 200 000 nested <div> would hold a crawl thread for minutes.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::io {

// Deeper elements lose their tags and so become part of the deepest one, as browsers cut the
// tree (Blink at 512). The count errs on the deep side: a tag the parser would close is counted
// until its own end tag.
inline constexpr size_t kMaxHtmlDepth = 512;

// How often the reader asks whether to stop.
inline constexpr size_t kHtmlStopCheckBytes = 64 * 1024;

struct TFlattenedHtml {
    bool Stopped = false;  // stop() said so; nothing else is meaningful
    // The markup with the tags beyond maxDepth dropped; nothing when none had to be. The tags
    // a link reader needs (a, link, base, meta) are always kept; script, style, textarea,
    // template and the like beyond the limit go with their contents, which hold no links.
    std::optional<std::string> Html;
};

// stop (optional) is asked every kHtmlStopCheckBytes of markup.
TFlattenedHtml FlattenDeepHtml(std::string_view html, size_t maxDepth = kMaxHtmlDepth,
                               const std::function<bool()>& stop = {});

}  // namespace velmora::io
