// Sitemap files as anyone may hand them over: well-formedness, entity tricks, namespaces.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "io/import_texts.h"
#include "io/sitemap.h"

using velmora::io::ParseSitemap;

namespace {

// The reader's outcome in the three kinds the checks below tell apart.
struct TSitemapResult {
    enum TStatus { Ok, ParseError, NoUrlset };
    TStatus status = ParseError;
    std::string error;
    size_t urlsetChildCount = 0, urlWithLocCount = 0;
    std::vector<std::string> locs;
};

TSitemapResult Parse(const std::string& path) {
    velmora::TResult<velmora::io::TSitemap> map = ParseSitemap(path);
    TSitemapResult r;
    if (!map) {
        r.error = map.Error();
        r.status = r.error == velmora::io::kMsgSitemapNoUrlset ? TSitemapResult::NoUrlset
                                                               : TSitemapResult::ParseError;
        return r;
    }
    r.status = TSitemapResult::Ok;
    r.urlsetChildCount = map->urlsetChildCount;
    r.urlWithLocCount = map->urlWithLocCount;
    r.locs = std::move(map->locs);
    return r;
}

// The same rules read off a document tree, as the format was first read: the streaming reader
// must agree with it on the outcome, the progress counts and every loc.
struct TDomResult {
    TSitemapResult::TStatus status = TSitemapResult::ParseError;
    size_t children = 0, withLoc = 0;
    std::vector<std::string> locs;
    bool decoding = false;  // verdict open, see TDomErrors
};

struct TDomErrors {
    bool failed = false;
    // Known gap, left to the owner: decoding errors of the streaming reader reach the global
    // handler, not the reader's, so both verdicts are possible there.
    bool decoding = false;
};

void OnDomError(void* ctx, xmlErrorPtr err) {
    auto* e = static_cast<TDomErrors*>(ctx);
    if (!err || err->level < XML_ERR_ERROR) return;
    e->failed = true;
    if (err->domain == XML_FROM_I18N || err->domain == XML_FROM_IO) e->decoding = true;
}

std::string_view NsOf(const xmlNode* n) {
    return n->ns && n->ns->href ? reinterpret_cast<const char*>(n->ns->href) : "";
}
bool Named(const xmlNode* n, const char* local) {
    return n->type == XML_ELEMENT_NODE && xmlStrEqual(n->name, BAD_CAST local);
}

// Text and CDATA below n; false when an entity reference is met.
bool CollectText(const xmlNode* n, std::string& out) {
    for (const xmlNode* c = n->children; c; c = c->next) {
        if (c->type == XML_ENTITY_REF_NODE) return false;
        if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && c->content)
            out += reinterpret_cast<const char*>(c->content);
        if (c->type == XML_ELEMENT_NODE && !CollectText(c, out)) return false;
    }
    return true;
}

TDomResult ReadDom(std::string_view bytes) {
    TDomResult res;
    TDomErrors errors;
    xmlSetStructuredErrorFunc(&errors, OnDomError);
    xmlDocPtr doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "sitemap.xml",
                                  nullptr, XML_PARSE_NONET);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    if (!doc || errors.failed) {
        xmlFreeDoc(doc);
        res.decoding = errors.decoding;
        return res;
    }
    const xmlNode* root = xmlDocGetRootElement(doc);
    if (!root || !Named(root, "urlset")) {
        xmlFreeDoc(doc);
        res.status = TSitemapResult::NoUrlset;
        return res;
    }
    res.status = TSitemapResult::Ok;
    const std::string_view ns = NsOf(root);
    for (const xmlNode* c = root->children; c; c = c->next) {
        if (c->type == XML_TEXT_NODE && xmlIsBlankNode(c)) continue;
        ++res.children;
        if (!Named(c, "url") || NsOf(c) != ns) continue;
        for (const xmlNode* l = c->children; l; l = l->next) {
            if (!Named(l, "loc") || NsOf(l) != ns) continue;
            ++res.withLoc;
            std::string text;
            if (!CollectText(l, text)) {
                res = TDomResult{};  // an entity in a loc fails the whole file
                xmlFreeDoc(doc);
                return res;
            }
            size_t b = 0, e = text.size();
            while (b < e && static_cast<unsigned char>(text[b]) < 33) ++b;
            while (e > b && static_cast<unsigned char>(text[e - 1]) < 33) --e;
            if (e > b) res.locs.push_back(text.substr(b, e - b));
            break;
        }
    }
    xmlFreeDoc(doc);
    return res;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader only takes a path, so every input goes through a scratch file.
    static const std::string path = fuzz::ScratchPath("sitemap.xml");
    fuzz::WriteFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
    const TSitemapResult r = Parse(path);
    fuzz::CheckNoFdLeak(path);
    // The tree parser stops at a NUL byte in memory, where the file reader rightly fails.
    if (size > 0 && !std::memchr(data, 0, size)) {
        const TDomResult dom = ReadDom(std::string_view(reinterpret_cast<const char*>(data), size));
        FUZZ_CHECK(dom.status == r.status || dom.decoding, "reader says %d (%s), tree says %d",
                   r.status, r.error.c_str(), dom.status);
        if (r.status == TSitemapResult::Ok && dom.status == TSitemapResult::Ok) {
            FUZZ_CHECK(dom.children == r.urlsetChildCount && dom.withLoc == r.urlWithLocCount,
                       "counts %zu/%zu, tree %zu/%zu", r.urlsetChildCount, r.urlWithLocCount,
                       dom.children, dom.withLoc);
            // Known gap, left to the owner: the streaming parser keeps CR in CDATA where the
            // tree parser turns CR LF and CR into LF. Compare after that normalisation.
            std::vector<std::string> locs = r.locs;
            for (std::string& l : locs) {
                std::string n;
                for (size_t i = 0; i < l.size(); ++i) {
                    if (l[i] != '\r')
                        n += l[i];
                    else if (i + 1 == l.size() || l[i + 1] != '\n')
                        n += '\n';
                }
                l = std::move(n);
            }
            FUZZ_CHECK(dom.locs == locs, "%zu locs, tree %zu", r.locs.size(), dom.locs.size());
        }
    }

    switch (r.status) {
        case TSitemapResult::ParseError:
            // The progress counts are meaningless here and may be left as they were.
            FUZZ_CHECK(!r.error.empty(), "parse error without a message");
            FUZZ_CHECK(r.locs.empty(), "parse error with %zu locs", r.locs.size());
            break;
        case TSitemapResult::NoUrlset:
            FUZZ_CHECK(r.locs.empty() && r.urlsetChildCount == 0 && r.urlWithLocCount == 0,
                       "no urlset, yet %zu locs, counts %zu/%zu", r.locs.size(), r.urlsetChildCount,
                       r.urlWithLocCount);
            break;
        case TSitemapResult::Ok:
            FUZZ_CHECK(r.locs.size() <= r.urlWithLocCount, "%zu locs, %zu url with loc",
                       r.locs.size(), r.urlWithLocCount);
            FUZZ_CHECK(r.urlWithLocCount <= r.urlsetChildCount, "%zu url with loc, %zu children",
                       r.urlWithLocCount, r.urlsetChildCount);
            break;
        default:
            FUZZ_CHECK(false, "status %d", r.status);
    }
    FUZZ_CHECK(fuzz::Utf8Ok(r.error), "message not UTF-8: %s", r.error.c_str());
    for (const std::string& loc : r.locs) {
        FUZZ_CHECK(!loc.empty(), "empty loc");
        FUZZ_CHECK(static_cast<unsigned char>(loc.front()) >= 33 &&
                       static_cast<unsigned char>(loc.back()) >= 33,
                   "loc not trimmed: '%s'", loc.c_str());
        FUZZ_CHECK(fuzz::Utf8Ok(loc), "loc not UTF-8");
    }
    return 0;
}
