#include "io/html_depth.h"

#include <array>
#include <map>
#include <unordered_map>
#include <vector>

#include "base/text.h"

namespace velmora::io {
namespace {

using namespace std::string_view_literals;

template <size_t N>
bool In(const std::array<std::string_view, N>& set, std::string_view name) {
    for (std::string_view s : set)
        if (s == name) return true;
    return false;
}

constexpr std::array kVoid = {"area"sv,  "base"sv,   "basefont"sv, "bgsound"sv, "br"sv,
                              "col"sv,   "embed"sv,  "frame"sv,    "hr"sv,      "image"sv,
                              "img"sv,   "input"sv,  "keygen"sv,   "link"sv,    "meta"sv,
                              "param"sv, "source"sv, "track"sv,    "wbr"sv};
// Their contents are text up to their own end tag.
constexpr std::array kRawText = {"script"sv,  "style"sv, "xmp"sv,      "iframe"sv,
                                 "noembed"sv, "title"sv, "noframes"sv, "textarea"sv};
// Kept beyond the limit: they do not nest, and they are what the link reader looks for.
constexpr std::array kKept = {"a"sv, "link"sv, "base"sv, "meta"sv};
constexpr std::array kFormatting = {"a"sv,      "b"sv,      "big"sv,  "code"sv, "em"sv,
                                    "font"sv,   "i"sv,      "nobr"sv, "s"sv,    "small"sv,
                                    "strike"sv, "strong"sv, "tt"sv,   "u"sv};
// An end tag of another name does not close past these ("special" elements).
constexpr std::array kSpecial = {
    "address"sv, "applet"sv,  "article"sv,  "aside"sv,    "blockquote"sv, "body"sv,
    "button"sv,  "caption"sv, "center"sv,   "colgroup"sv, "dd"sv,         "details"sv,
    "dir"sv,     "div"sv,     "dl"sv,       "dt"sv,       "fieldset"sv,   "figcaption"sv,
    "figure"sv,  "footer"sv,  "form"sv,     "frameset"sv, "h1"sv,         "h2"sv,
    "h3"sv,      "h4"sv,      "h5"sv,       "h6"sv,       "head"sv,       "header"sv,
    "hgroup"sv,  "html"sv,    "li"sv,       "listing"sv,  "main"sv,       "marquee"sv,
    "menu"sv,    "nav"sv,     "noscript"sv, "object"sv,   "ol"sv,         "p"sv,
    "pre"sv,     "search"sv,  "section"sv,  "select"sv,   "summary"sv,    "table"sv,
    "tbody"sv,   "td"sv,      "template"sv, "tfoot"sv,    "th"sv,         "thead"sv,
    "tr"sv,      "ul"sv};
// Nothing closes past these.
constexpr std::array kScope = {"applet"sv, "caption"sv, "html"sv,   "table"sv,   "td"sv,
                               "th"sv,     "marquee"sv, "object"sv, "template"sv};
// A start tag of these closes an open <p>.
constexpr std::array kClosesP = {
    "address"sv, "article"sv, "aside"sv,   "blockquote"sv, "center"sv,     "details"sv, "dialog"sv,
    "dir"sv,     "div"sv,     "dl"sv,      "fieldset"sv,   "figcaption"sv, "figure"sv,  "footer"sv,
    "header"sv,  "hgroup"sv,  "main"sv,    "menu"sv,       "nav"sv,        "ol"sv,      "p"sv,
    "search"sv,  "section"sv, "summary"sv, "ul"sv,         "h1"sv,         "h2"sv,      "h3"sv,
    "h4"sv,      "h5"sv,      "h6"sv,      "pre"sv,        "listing"sv,    "form"sv,    "hr"sv};
// Inside svg or math these leave the foreign content.
constexpr std::array kBreakout = {
    "b"sv,       "big"sv,   "blockquote"sv, "body"sv,   "br"sv,     "center"sv, "code"sv, "dd"sv,
    "div"sv,     "dl"sv,    "dt"sv,         "em"sv,     "embed"sv,  "h1"sv,     "h2"sv,   "h3"sv,
    "h4"sv,      "h5"sv,    "h6"sv,         "head"sv,   "hr"sv,     "i"sv,      "img"sv,  "li"sv,
    "listing"sv, "menu"sv,  "meta"sv,       "nobr"sv,   "ol"sv,     "p"sv,      "pre"sv,  "ruby"sv,
    "s"sv,       "small"sv, "span"sv,       "strong"sv, "strike"sv, "sub"sv,    "sup"sv,  "table"sv,
    "tt"sv,      "u"sv,     "ul"sv,         "var"sv,    "font"sv};
constexpr std::array kIntegration = {
    "foreignobject"sv, "desc"sv,          "title"sv, "mi"sv, "mo"sv, "mn"sv, "ms"sv,
    "mtext"sv,         "annotation-xml"sv};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}
bool IsAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

struct TOpen {
    std::string Name;
    bool Foreign = false;
    // Looked up once: end tags scan the open elements often.
    bool Special = false;
    bool Scope = false;
    bool Formatting = false;
};

class TFlattener {
  public:
    TFlattener(std::string_view html, size_t maxDepth, const std::function<bool()>& stop)
        : FHtml(html), FMaxDepth(maxDepth), FStop(stop) {}

    TFlattenedHtml Run() {
        size_t nextCheck = kHtmlStopCheckBytes;
        size_t at = 0;
        while ((at = FHtml.find('<', at)) != std::string_view::npos) {
            if (FStop && at >= nextCheck) {
                if (FStop()) return {.Stopped = true, .Html = std::nullopt};
                nextCheck = at + kHtmlStopCheckBytes;
            }
            at = Markup(at);
        }
        if (!FCopying) return {};
        FOut.append(FHtml.substr(FCopied));
        return {.Html = std::move(FOut)};
    }

  private:
    // Reads the markup starting at the '<' at `at`; returns where reading goes on.
    size_t Markup(size_t at) {
        const size_t n = FHtml.size();
        if (at + 1 >= n) return n;
        const char c = FHtml[at + 1];
        if (FHtml.substr(at, 4) == "<!--") {
            // "<!-->" and "<!--->" end at once.
            const size_t end = FHtml.find("-->", at + 2);
            return end == std::string_view::npos ? n : end + 3;
        }
        if (c == '!' || c == '?' || (c == '/' && at + 2 < n && !IsAlpha(FHtml[at + 2]))) {
            const size_t end = FHtml.find('>', at + 1);
            return end == std::string_view::npos ? n : end + 1;
        }
        const bool endTag = c == '/';
        const size_t nameAt = at + (endTag ? 2 : 1);
        if (nameAt >= n) return n;
        if (!IsAlpha(FHtml[nameAt])) return at + 1;  // a '<' of the text
        size_t p = nameAt;
        while (p < n && !IsSpace(FHtml[p]) && FHtml[p] != '/' && FHtml[p] != '>') ++p;
        const std::string name = AsciiLower(FHtml.substr(nameAt, p - nameAt));
        const size_t close = TagEnd(p);
        if (close == std::string_view::npos) return n;
        const bool selfClosing = FHtml[close - 1] == '/';
        if (endTag)
            EndTag(name, at, close + 1);
        else
            return StartTag(name, selfClosing, at, close + 1);
        return close + 1;
    }

    // The '>' that ends a tag whose attributes start at p, quoted values skipped.
    size_t TagEnd(size_t p) const {
        const size_t n = FHtml.size();
        while (p < n) {
            const char c = FHtml[p];
            if (c == '>') return p;
            ++p;
            if (c != '=') continue;
            while (p < n && IsSpace(FHtml[p])) ++p;
            if (p < n && (FHtml[p] == '"' || FHtml[p] == '\'')) {
                const size_t q = FHtml.find(FHtml[p], p + 1);
                if (q == std::string_view::npos) return q;
                p = q + 1;
            }
        }
        return std::string_view::npos;
    }

    // Where the element that starts at from ends: after the end tag of name (raw text), or
    // after the matching end tag of nested elements of that name.
    size_t ElementEnd(const std::string& name, size_t from, bool nested) const {
        size_t depth = 1;
        for (size_t p = from; (p = FHtml.find('<', p)) != std::string_view::npos; ++p) {
            const bool end = p + 1 < FHtml.size() && FHtml[p + 1] == '/';
            if (!end && !nested) continue;
            const size_t nameAt = p + (end ? 2 : 1);
            const size_t after = nameAt + name.size();
            if (after >= FHtml.size()) break;
            if (AsciiLower(FHtml.substr(nameAt, name.size())) != name) continue;
            if (!IsSpace(FHtml[after]) && FHtml[after] != '/' && FHtml[after] != '>') continue;
            if (!end) {
                ++depth;
                continue;
            }
            if (--depth > 0) continue;
            const size_t gt = FHtml.find('>', after);
            return gt == std::string_view::npos ? FHtml.size() : gt + 1;
        }
        return FHtml.size();
    }

    size_t StartTag(const std::string& name, bool selfClosing, size_t from, size_t to) {
        const bool inForeign =
            !FOpen.empty() && FOpen.back().Foreign && !In(kIntegration, FOpen.back().Name);
        if (inForeign && In(kBreakout, name))
            while (!FOpen.empty() && FOpen.back().Foreign) {
                --FOpenCount[FOpen.back().Name];
                FOpen.pop_back();
            }
        const bool foreign =
            name == "svg" || name == "math" ||
            (!FOpen.empty() && FOpen.back().Foreign && !In(kIntegration, FOpen.back().Name));
        if (name == "plaintext" && !foreign) return FHtml.size();
        if (!foreign && In(kRawText, name)) return ElementEnd(name, to, false);
        if (In(kVoid, name) || (foreign && selfClosing)) return to;
        if (!foreign) CloseImplied(name);
        if (Depth() < FMaxDepth) {
            FOpen.push_back({.Name = name,
                             .Foreign = foreign,
                             .Special = In(kSpecial, name),
                             .Scope = In(kScope, name),
                             .Formatting = In(kFormatting, name)});
            ++FOpenCount[name];
            return to;
        }
        if (In(kKept, name)) return to;
        if (name == "template") {
            const size_t end = ElementEnd(name, to, true);
            Drop(from, end);
            return end;
        }
        Drop(from, to);
        ++FExcess;
        return to;
    }

    // What a start tag closes of its own kind before it opens.
    void CloseImplied(const std::string& name) {
        if (In(kClosesP, name)) EndTag("p");
        if (name == "a" || name == "nobr") EndTag(name);
        if (name != "li" && name != "dd" && name != "dt") return;
        for (size_t k = FOpen.size(); k-- > 0;) {
            const std::string open = FOpen[k].Name;
            if (open == name || (name != "li" && (open == "dd" || open == "dt"))) {
                EndTag(open);
                return;
            }
            if (FOpen[k].Special && open != "address" && open != "div" && open != "p") return;
        }
    }

    void EndTag(const std::string& name, size_t from = 0, size_t to = 0) {
        if (FExcess > 0 && to > 0 && !In(kKept, name)) {
            Drop(from, to);
            --FExcess;
            return;
        }
        // These never shorten the parser's stack: </body> and </html> only switch its mode.
        if (name == "html" || name == "head" || name == "body" || name == "br") return;
        const bool special = In(kSpecial, name);
        size_t match = FOpen.size();
        const auto count = FOpenCount.find(name);
        const bool open = count != FOpenCount.end() && count->second > 0;
        for (size_t k = FOpen.size(); open && k-- > 0;) {
            const TOpen& node = FOpen[k];
            if (node.Name == name) {
                match = k;
                break;
            }
            if (node.Scope || node.Foreign || (!special && node.Special) ||
                (name == "li" && (node.Name == "ol" || node.Name == "ul")) ||
                (name == "p" && node.Name == "button"))
                return;
        }
        if (match == FOpen.size()) {
            // A formatting element closed before may still be open again in the parser.
            if (auto it = FPending.find(name); it != FPending.end() && it->second > 0) {
                --it->second;
                --FPendingTotal;
            }
            return;
        }
        if (name == "form") {  // only the form itself leaves the stack
            --FOpenCount[name];
            FOpen.erase(FOpen.begin() + static_cast<std::ptrdiff_t>(match));
            return;
        }
        // Formatting elements closed on the way are opened again by the next text.
        for (size_t k = match; k < FOpen.size(); ++k) {
            --FOpenCount[FOpen[k].Name];
            if (k > match && FOpen[k].Formatting) {
                ++FPending[FOpen[k].Name];
                ++FPendingTotal;
            }
        }
        FOpen.resize(match);
    }

    size_t Depth() const { return FOpen.size() + FPendingTotal; }

    void Drop(size_t from, size_t to) {
        if (!FCopying) {
            FCopying = true;
            FOut.reserve(FHtml.size());
        }
        FOut.append(FHtml.substr(FCopied, from - FCopied));
        FCopied = to;
    }

    std::string_view FHtml;
    const size_t FMaxDepth;
    const std::function<bool()>& FStop;
    std::vector<TOpen> FOpen;
    std::unordered_map<std::string, size_t> FOpenCount;  // of FOpen, by name
    std::map<std::string, size_t> FPending;
    size_t FPendingTotal = 0;
    size_t FExcess = 0;  // start tags dropped whose end tags are still to come
    bool FCopying = false;
    size_t FCopied = 0;
    std::string FOut;
};

}  // namespace

TFlattenedHtml FlattenDeepHtml(std::string_view html, size_t maxDepth,
                               const std::function<bool()>& stop) {
    return TFlattener(html, maxDepth, stop).Run();
}

}  // namespace velmora::io
