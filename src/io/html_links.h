// The links of an HTML page, read with an HTML5 parser (gumbo); scripts are never run.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::io {

// Attribute values as written (entities decoded), not yet resolved.
struct THtmlLinks {
    std::string Base;       // the first <base href>
    std::string Canonical;  // the first <link rel=canonical href>
    // <a href> without rel=nofollow and <link rel=alternate hreflang href>, in document order.
    std::vector<std::string> Links;
    bool NoFollow = false;  // <meta name=robots content=nofollow> (or "none")
};

// Elements nested deeper than kMaxHtmlDepth are read as part of the deepest one (html_depth.h),
// which keeps the time linear in the page's size. stop (optional) is asked while the markup is
// read; nothing is returned when it said so.
std::optional<THtmlLinks> ReadHtmlLinks(std::string_view html,
                                        const std::function<bool()>& stop = {});

}  // namespace velmora::io
