#include "http/url.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>

namespace velmora::http {
namespace {

struct TUrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using TUrlHandle = std::unique_ptr<CURLU, TUrlDeleter>;

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::optional<std::string> Part(CURLU* u, CURLUPart part) {
    char* text = nullptr;
    if (curl_url_get(u, part, &text, 0) != CURLUE_OK) return std::nullopt;
    std::string value(text);
    curl_free(text);
    return value;
}

std::string_view TrimSpace(std::string_view s) {
    constexpr std::string_view kSpace = " \t\n\f\r";
    const size_t first = s.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(kSpace) - first + 1);
}

std::optional<TUrl> FromHandle(CURLU* u) {
    TUrl url;
    const std::optional<std::string> scheme = Part(u, CURLUPART_SCHEME);
    const std::optional<std::string> host = Part(u, CURLUPART_HOST);
    if (!scheme || !host || host->empty()) return std::nullopt;
    url.Scheme = Lower(*scheme);
    if (url.Scheme != "http" && url.Scheme != "https") return std::nullopt;
    url.Host = Lower(*host);
    if (std::optional<std::string> port = Part(u, CURLUPART_PORT))
        if (*port != (url.Scheme == "http" ? "80" : "443")) url.Port = *port;
    url.Path = FoldPercentEncoding(Part(u, CURLUPART_PATH).value_or("/"));
    if (url.Path.empty()) url.Path = "/";
    if (std::optional<std::string> query = Part(u, CURLUPART_QUERY)) {
        url.HasQuery = true;
        url.Query = FoldPercentEncoding(*query);
    }
    return url;
}

}  // namespace

std::string TUrl::Origin() const {
    return Scheme + "://" + Host + (Port.empty() ? "" : ":" + Port);
}

std::string TUrl::Text() const {
    return Origin() + Path + (HasQuery ? "?" + Query : "");
}

std::optional<TUrl> ResolveUrl(std::string_view base, std::string_view ref) {
    ref = TrimSpace(ref);
    // libcurl resolves a fragment-only reference to the base's folder; without its fragment the
    // reference is the base itself.
    ref = ref.substr(0, ref.find('#'));
    const TUrlHandle u(curl_url());
    if (!u) return std::nullopt;
    const std::string baseText(base);
    if (curl_url_set(u.get(), CURLUPART_URL, baseText.c_str(), 0) != CURLUE_OK) return std::nullopt;
    if (!ref.empty()) {
        const std::string refText(ref);
        if (refText.find('\0') != std::string::npos) return std::nullopt;
        if (curl_url_set(u.get(), CURLUPART_URL, refText.c_str(), CURLU_URLENCODE) != CURLUE_OK)
            return std::nullopt;
    }
    curl_url_set(u.get(), CURLUPART_FRAGMENT, nullptr, 0);
    return FromHandle(u.get());
}

std::optional<TUrl> ParseUrl(std::string_view url) {
    const TUrlHandle u(curl_url());
    if (!u) return std::nullopt;
    const std::string text(TrimSpace(url.substr(0, url.find('#'))));
    if (text.find('\0') != std::string::npos) return std::nullopt;
    if (curl_url_set(u.get(), CURLUPART_URL, text.c_str(), CURLU_URLENCODE) != CURLUE_OK)
        return std::nullopt;
    return FromHandle(u.get());
}

std::string FoldPercentEncoding(std::string_view url) {
    const auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(url.size());
    for (size_t i = 0; i < url.size(); ++i) {
        const int hi = url[i] == '%' && i + 2 < url.size() ? hex(url[i + 1]) : -1;
        const int lo = hi >= 0 ? hex(url[i + 2]) : -1;
        if (lo < 0) {
            out += url[i];
            continue;
        }
        const char c = static_cast<char>(hi * 16 + lo);
        const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '~';
        if (unreserved) {
            out += c;
        } else {
            constexpr char kHex[] = "0123456789ABCDEF";
            out += {'%', kHex[hi], kHex[lo]};
        }
        i += 2;
    }
    return out;
}

std::string WithoutUserInfo(std::string_view text) {
    // Where the authority ends: the path, query or fragment, a backslash (which browsers read
    // as "/"), or the end of the address in a message.
    constexpr std::string_view kAuthorityEnd = "/?#\\ \t\r\n\"'<>";
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    for (size_t mark; (mark = text.find("://", pos)) != std::string_view::npos;) {
        const size_t from = mark + 3;
        const size_t end = std::min(text.find_first_of(kAuthorityEnd, from), text.size());
        // The host follows the last "@": a password may hold one unencoded.
        const size_t at = text.substr(from, end - from).rfind('@');
        out.append(text.substr(pos, from - pos));
        pos = at == std::string_view::npos ? from : from + at + 1;
    }
    out.append(text.substr(pos));
    return out;
}

}  // namespace velmora::http
