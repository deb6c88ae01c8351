#include "sim/answers.h"

#include <zlib.h>

#include <algorithm>
#include <optional>
#include <utility>

namespace velmora::sim {

namespace {

constexpr size_t npos = std::string_view::npos;

bool IsWs(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

size_t SkipWs(std::string_view s, size_t p) {
    while (p < s.size() && IsWs(s[p])) ++p;
    return p;
}

// p is at the opening quote; returns the index just past the closing quote, or npos.
size_t StringEnd(std::string_view s, size_t p) {
    for (++p; p < s.size(); ++p) {
        if (s[p] == '\\') {
            ++p;
        } else if (s[p] == '"') {
            return p + 1;
        }
    }
    return npos;
}

// p is at the first character of a value; returns the index just past it, or npos.
size_t ValueEnd(std::string_view s, size_t p) {
    if (p >= s.size()) return npos;
    if (s[p] == '"') return StringEnd(s, p);
    if (s[p] == '{' || s[p] == '[') {
        int depth = 0;
        while (p < s.size()) {
            char c = s[p];
            if (c == '"') {
                p = StringEnd(s, p);
                if (p == npos) return npos;
                continue;
            }
            if (c == '{' || c == '[') ++depth;
            if ((c == '}' || c == ']') && --depth == 0) return p + 1;
            ++p;
        }
        return npos;
    }
    while (p < s.size() && s[p] != ',' && s[p] != '}' && s[p] != ']' && !IsWs(s[p])) ++p;
    return p;
}

struct Member {
    size_t keyStart, valueStart, valueEnd;
};

// Looks up a direct member of the object whose '{' is at objStart.
std::optional<Member> FindMember(std::string_view s, size_t objStart, std::string_view key) {
    if (objStart >= s.size() || s[objStart] != '{') return std::nullopt;
    size_t p = SkipWs(s, objStart + 1);
    while (p < s.size() && s[p] == '"') {
        size_t keyEnd = StringEnd(s, p);
        if (keyEnd == npos) return std::nullopt;
        std::string_view name = s.substr(p + 1, keyEnd - p - 2);
        size_t colon = SkipWs(s, keyEnd);
        if (colon >= s.size() || s[colon] != ':') return std::nullopt;
        size_t vs = SkipWs(s, colon + 1);
        size_t ve = ValueEnd(s, vs);
        if (ve == npos) return std::nullopt;
        if (name == key) return Member{p, vs, ve};
        p = SkipWs(s, ve);
        if (p >= s.size() || s[p] != ',') return std::nullopt;
        p = SkipWs(s, p + 1);
    }
    return std::nullopt;
}

std::optional<Member> FindPath(std::string_view s, std::initializer_list<std::string_view> path) {
    size_t obj = SkipWs(s, 0);
    std::optional<Member> m;
    for (std::string_view key : path) {
        m = FindMember(s, obj, key);
        if (!m) return std::nullopt;
        obj = m->valueStart;
    }
    return m;
}

// Length of a well-formed UTF-8 sequence at s[i], or 0.
size_t Utf8Length(std::string_view s, size_t i) {
    auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = at(i);
    size_t n;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    if (at(i + 1) < lo || at(i + 1) > hi) return 0;
    for (size_t k = 2; k < n; ++k) {
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
    }
    return n;
}

}  // namespace

std::string JsonEscape(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            size_t n = Utf8Length(text, i);
            if (n == 0) {
                out += "\\ufffd";
                ++i;
            } else {
                out.append(text.substr(i, n));
                i += n;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == '=' || c == '\'') {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 0xF];
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
    return out;
}

bool AnswerTemplate::Load(std::string_view json, std::string* error) {
    FPieces.clear();
    FFixedSize = 0;
    auto id = FindPath(json, {"id"});
    if (!id || json[id->valueStart] != '"') {
        if (error) *error = "no top-level \"id\" string";
        return false;
    }
    static const std::initializer_list<std::string_view> kPaths[] = {
        {"id"},
        {"loadingExperience", "id"},
        {"loadingExperience", "initial_url"},
        {"originLoadingExperience", "initial_url"},
        {"lighthouseResult", "requestedUrl"},
        {"lighthouseResult", "mainDocumentUrl"},
        {"lighthouseResult", "finalDisplayedUrl"},
        {"lighthouseResult", "finalUrl"},
    };
    std::vector<std::pair<size_t, size_t>> slots;  // string contents, without quotes
    for (const auto& path : kPaths) {
        auto m = FindPath(json, path);
        if (m && json[m->valueStart] == '"') slots.emplace_back(m->valueStart + 1, m->valueEnd - 1);
    }
    std::sort(slots.begin(), slots.end());
    size_t from = 0;
    for (auto [b, e] : slots) {
        FPieces.emplace_back(json.substr(from, b - from));
        from = e;
    }
    FPieces.emplace_back(json.substr(from));
    for (const auto& p : FPieces) FFixedSize += p.size();
    return true;
}

std::string AnswerTemplate::Render(std::string_view escapedUrl) const {
    std::string out;
    out.reserve(FFixedSize + Slots() * escapedUrl.size());
    for (size_t i = 0; i < FPieces.size(); ++i) {
        if (i > 0) out.append(escapedUrl);
        out.append(FPieces[i]);
    }
    return out;
}

bool NullPerformanceScore(std::string& json) {
    auto m = FindPath(json, {"lighthouseResult", "categories", "performance", "score"});
    if (!m) return false;
    json.replace(m->valueStart, m->valueEnd - m->valueStart, "null");
    return true;
}

bool RemoveAudits(std::string& json) {
    auto m = FindPath(json, {"lighthouseResult", "audits"});
    if (!m) return false;
    size_t after = SkipWs(json, m->valueEnd);
    if (after < json.size() && json[after] == ',') {
        json.erase(m->keyStart, SkipWs(json, after + 1) - m->keyStart);
        return true;
    }
    // Last member: take the comma before it instead.
    size_t before = m->keyStart;
    while (before > 0 && IsWs(json[before - 1])) --before;
    if (before > 0 && json[before - 1] == ',') --before;
    json.erase(before, m->valueEnd - before);
    return true;
}

bool TransplantFieldData(std::string& json, std::string_view donor) {
    const auto target = FindPath(json, {"loadingExperience"});
    const auto page = FindPath(donor, {"loadingExperience"});
    if (!target || !page || FindPath(json, {"originLoadingExperience"})) return false;
    std::string members(donor.substr(page->keyStart, page->valueEnd - page->keyStart));
    if (const auto origin = FindPath(donor, {"originLoadingExperience"})) {
        members += ",\n  ";
        members += donor.substr(origin->keyStart, origin->valueEnd - origin->keyStart);
    }
    json.replace(target->keyStart, target->valueEnd - target->keyStart, members);
    return true;
}

std::string Gzip(std::string_view text) {
    z_stream z{};
    // 15 window bits + 16: a gzip header and trailer around the deflate stream.
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return std::string(text);
    std::string out(deflateBound(&z, static_cast<uLong>(text.size())) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int done = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return done == Z_STREAM_END ? out : std::string(text);
}

}  // namespace velmora::sim
