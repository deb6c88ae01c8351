// The links of an HTML page, read with an HTML5 parser (gumbo); scripts are never run.
#pragma once

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

THtmlLinks ReadHtmlLinks(std::string_view html);

}  // namespace velmora::io
