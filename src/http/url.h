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

// url with every percent-encoded letter, digit, "-", "_" and "~" decoded and the hex digits of
// the other escapes upper-case: "/%63afe" and "/cafe" are one page. "%2E" stays, so that no "."
// or ".." segment appears after the address was resolved.
std::string FoldPercentEncoding(std::string_view url);

// text with the user-info ("user:password@") of every "scheme://" address in it removed: an
// address, or a message naming some. What is shown, logged or recorded goes through it, since
// a history or a report is read by others; the address used for the requests keeps it.
std::string WithoutUserInfo(std::string_view text);

}  // namespace velmora::http
