// Web addresses taken apart and resolved, by libcurl's URL parser.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora::http {

// An absolute http(s) address in one spelling: scheme and host lower-case, the scheme's default
// port left out, "." and ".." segments resolved, spaces percent-encoded, no fragment.
struct TUrl {
    std::string Scheme;  // "http" or "https"
    std::string Host;
    std::string Port;       // empty for the scheme's default
    std::string Path;       // at least "/"
    std::string Query;      // without "?"; empty when there is none
    bool HasQuery = false;  // "?" present, even with nothing after it

    // "scheme://host[:port]"
    std::string Origin() const;
    std::string Text() const;
};

// ref (an href, trimmed of ASCII white space, its fragment dropped) resolved against the
// absolute address base; nothing when it is no http(s) address or cannot be parsed.
std::optional<TUrl> ResolveUrl(std::string_view base, std::string_view ref);
// An absolute address alone.
std::optional<TUrl> ParseUrl(std::string_view url);

}  // namespace velmora::http
