#include "io/sitemap.h"

#include <fcntl.h>
#include <libxml/xmlreader.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "base/translate.h"
#include "base/utf8.h"
#include "io/codepage.h"
#include "io/import_texts.h"
#include "io/url_import.h"

namespace velmora::io {

namespace {

// The handler's error parameter became const in newer libxml2; take whichever it is.
template <typename F>
struct TErrorArg;
template <typename R, typename A, typename B>
struct TErrorArg<R (*)(A, B)> {
    using type = B;
};
using TXmlErrorPtr = TErrorArg<xmlStructuredErrorFunc>::type;

struct TErrorSink {
    std::string first;
};

// libxml2 quotes the input in some messages, cut after a fixed number of bytes, so a character
// can be split at the end; such bytes become U+FFFD.
std::string ValidUtf8(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        const uint32_t len = DecodeUtf8At(s, i).Length;
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out += s.substr(i, len);
            i += len;
        }
    }
    return out;
}

void OnXmlError(void* ctx, TXmlErrorPtr err) {
    auto* sink = static_cast<TErrorSink*>(ctx);
    if (!err || err->level < XML_ERR_ERROR || !sink->first.empty()) return;
    std::string msg = ValidUtf8(TrimControl(err->message ? err->message : "XML error"));
    if (err->line > 0) msg = "line " + std::to_string(err->line) + ": " + msg;
    sink->first = std::move(msg);
}

std::string_view View(const xmlChar* s) {
    return s ? std::string_view(reinterpret_cast<const char*>(s)) : std::string_view();
}

struct TReader {
    xmlTextReaderPtr r = nullptr;
    int fd = -1;
    ~TReader() {
        if (r) xmlFreeTextReader(r);
        if (fd >= 0) close(fd);
    }
};

}  // namespace

TSitemapResult ParseSitemap(const std::string& path) {
    TSitemapResult res;
    auto openFailed = [&](int err) {
        res.status = TSitemapResult::ParseError;
        res.error = FormatLog(Tr(kMsgSitemapOpenFailed), 0, path) + " (" + std::strerror(err) + ")";
        return res;
    };
    TReader rd;
    rd.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (rd.fd < 0) return openFailed(errno);
    struct stat st;
    if (fstat(rd.fd, &st) != 0) return openFailed(errno);
    if (S_ISDIR(st.st_mode)) return openFailed(EISDIR);
    if (S_ISREG(st.st_mode) && st.st_size == 0) {
        // The streaming reader would call this "Extra content at the end of the document".
        res.error = "Document is empty";
        return res;
    }

    // No XML_PARSE_NOENT (entities stay references), no DTD loading, no network, and the
    // default size limits (no XML_PARSE_HUGE).
    rd.r = xmlReaderForFd(rd.fd, path.c_str(), nullptr, XML_PARSE_NONET);
    if (!rd.r) return openFailed(ENOMEM);
    TErrorSink errors;
    xmlTextReaderSetStructuredErrorHandler(rd.r, OnXmlError, &errors);

    bool haveRoot = false, rootIsUrlset = false;
    std::string ns;  // namespace of "urlset"; a missing one reads as empty
    bool inUrl = false, locTaken = false, inLoc = false;
    std::string locText;
    auto finishLoc = [&] {
        std::string_view t = TrimControl(locText);
        if (!t.empty()) res.locs.emplace_back(t);
        inLoc = false;
    };

    int ret;
    while ((ret = xmlTextReaderRead(rd.r)) == 1) {
        const int type = xmlTextReaderNodeType(rd.r);
        const int depth = xmlTextReaderDepth(rd.r);
        // The streaming parser lets overlong UTF-8 through in CDATA sections (0xC0 0xAF for
        // "/"), where it rejects it everywhere else.
        if (type == XML_READER_TYPE_CDATA && !IsValidUtf8(View(xmlTextReaderConstValue(rd.r)))) {
            res = TSitemapResult();
            res.error = "line " + std::to_string(xmlTextReaderGetParserLineNumber(rd.r)) +
                        ": Input is not proper UTF-8 in a CDATA section";
            return res;
        }
        if (depth == 0) {
            if (type == XML_READER_TYPE_ELEMENT && !haveRoot) {
                haveRoot = true;
                rootIsUrlset = View(xmlTextReaderConstLocalName(rd.r)) == "urlset";
                ns = View(xmlTextReaderConstNamespaceUri(rd.r));
            }
            continue;
        }
        if (!rootIsUrlset) continue;  // read on: a later syntax error still counts

        if (depth == 1) {
            switch (type) {
                case XML_READER_TYPE_ELEMENT:
                    inUrl = View(xmlTextReaderConstLocalName(rd.r)) == "url" &&
                            View(xmlTextReaderConstNamespaceUri(rd.r)) == ns &&
                            !xmlTextReaderIsEmptyElement(rd.r);
                    locTaken = false;
                    ++res.urlsetChildCount;
                    break;
                case XML_READER_TYPE_END_ELEMENT:
                    inUrl = false;
                    break;
                case XML_READER_TYPE_TEXT:
                case XML_READER_TYPE_CDATA:
                case XML_READER_TYPE_COMMENT:
                case XML_READER_TYPE_PROCESSING_INSTRUCTION:
                case XML_READER_TYPE_ENTITY_REFERENCE:
                    ++res.urlsetChildCount;
                    break;
                default:
                    break;
            }
            continue;
        }
        if (!inUrl) continue;

        if (inLoc) {
            switch (type) {
                case XML_READER_TYPE_END_ELEMENT:
                    if (depth == 2) finishLoc();
                    break;
                case XML_READER_TYPE_TEXT:
                case XML_READER_TYPE_CDATA:
                case XML_READER_TYPE_WHITESPACE:
                case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
                    locText += View(xmlTextReaderConstValue(rd.r));
                    break;
                case XML_READER_TYPE_ENTITY_REFERENCE:
                    // Expanding it is what entity attacks rely on; dropping it would cut the URL.
                    res.status = TSitemapResult::ParseError;
                    res.error = FormatLog(Tr(kMsgSitemapEntityInLoc),
                                          xmlGetLineNo(xmlTextReaderCurrentNode(rd.r)));
                    res.locs.clear();
                    return res;
                default:
                    break;
            }
            continue;
        }
        if (depth == 2 && type == XML_READER_TYPE_ELEMENT && !locTaken &&
            View(xmlTextReaderConstLocalName(rd.r)) == "loc" &&
            View(xmlTextReaderConstNamespaceUri(rd.r)) == ns) {
            locTaken = true;
            ++res.urlWithLocCount;
            locText.clear();
            inLoc = true;
            if (xmlTextReaderIsEmptyElement(rd.r)) finishLoc();
        }
    }
    if (ret != 0 || !errors.first.empty()) {
        res.status = TSitemapResult::ParseError;
        res.error = errors.first.empty() ? std::string("XML parse error") : errors.first;
        res.locs.clear();
        res.urlsetChildCount = res.urlWithLocCount = 0;
        return res;
    }
    if (!rootIsUrlset) {
        res.status = TSitemapResult::NoUrlset;
        res.urlsetChildCount = res.urlWithLocCount = 0;
        return res;
    }
    res.status = TSitemapResult::Ok;
    return res;
}

}  // namespace velmora::io
