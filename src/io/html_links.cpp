#include "io/html_links.h"

#include <gumbo.h>

#include "base/text.h"
#include "io/html_depth.h"

namespace velmora::io {
namespace {

const char* Attribute(const GumboElement& e, const char* name) {
    const GumboAttribute* a = gumbo_get_attribute(&e.attributes, name);
    return a ? a->value : nullptr;
}

// True when the space-separated list (ASCII case ignored) holds word.
bool HasToken(const char* list, std::string_view word) {
    if (!list) return false;
    const std::string text = AsciiLower(list);
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t start = text.find_first_not_of(" \t\n\f\r,", pos);
        if (start == std::string::npos) break;
        size_t end = text.find_first_of(" \t\n\f\r,", start);
        if (end == std::string::npos) end = text.size();
        if (std::string_view(text).substr(start, end - start) == word) return true;
        pos = end;
    }
    return false;
}

void Take(const GumboElement& e, THtmlLinks& links) {
    switch (e.tag) {
        case GUMBO_TAG_A:
            if (const char* href = Attribute(e, "href");
                href && !HasToken(Attribute(e, "rel"), "nofollow"))
                links.Links.emplace_back(href);
            break;
        case GUMBO_TAG_LINK: {
            const char* href = Attribute(e, "href");
            const char* rel = Attribute(e, "rel");
            if (!href) break;
            if (HasToken(rel, "canonical") && links.Canonical.empty()) links.Canonical = href;
            if (HasToken(rel, "alternate") && Attribute(e, "hreflang") &&
                !HasToken(rel, "nofollow"))
                links.Links.emplace_back(href);
            break;
        }
        case GUMBO_TAG_BASE:
            if (const char* href = Attribute(e, "href"); href && links.Base.empty())
                links.Base = href;
            break;
        case GUMBO_TAG_META: {
            const char* name = Attribute(e, "name");
            const char* content = Attribute(e, "content");
            if (name && AsciiLower(name) == "robots" &&
                (HasToken(content, "nofollow") || HasToken(content, "none")))
                links.NoFollow = true;
            break;
        }
        default:
            break;
    }
}

}  // namespace

std::optional<THtmlLinks> ReadHtmlLinks(std::string_view html, const std::function<bool()>& stop) {
    const TFlattenedHtml flat = FlattenDeepHtml(html, kMaxHtmlDepth, stop);
    if (flat.Stopped) return std::nullopt;
    if (flat.Html) html = *flat.Html;
    THtmlLinks links;
    GumboOptions options = kGumboDefaultOptions;
    // The parse errors of a broken page would take memory and are never read.
    options.max_errors = 0;
    GumboOutput* output = gumbo_parse_with_options(&options, html.data(), html.size());
    if (!output) return links;
    // A stack, not recursion: broken markup nests thousands of levels deep.
    std::vector<const GumboNode*> stack{output->root};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        // Template contents are inert: not part of the page until a script uses them.
        if (node->type != GUMBO_NODE_ELEMENT) continue;
        const GumboElement& e = node->v.element;
        Take(e, links);
        for (unsigned i = e.children.length; i-- > 0;)
            stack.push_back(static_cast<const GumboNode*>(e.children.data[i]));
    }
    gumbo_destroy_output(&options, output);
    return links;
}

}  // namespace velmora::io
