#include "http/url.h"

#include <curl/curl.h>

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
    url.Path = Part(u, CURLUPART_PATH).value_or("/");
    if (url.Path.empty()) url.Path = "/";
    if (std::optional<std::string> query = Part(u, CURLUPART_QUERY)) {
        url.HasQuery = true;
        url.Query = *query;
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

}  // namespace velmora::http
