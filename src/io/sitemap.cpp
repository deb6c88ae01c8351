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

// Why the reader stopped; the text goes after kMsgSitemapParseError.
TFailure ReaderFailure(std::string message) {
    return Fail(Tr(kMsgSitemapParseError) + message);
}

TFailure OpenFailure(const std::string& path, int err) {
    return ReaderFailure(FormatLog(Tr(kMsgSitemapOpenFailed), 0, path) + " (" + std::strerror(err) +
                         ")");
}

// Opens the file into rd with entities left as references, no DTD loading, no network and
// libxml2's default size limits (no XML_PARSE_HUGE).
TResult<> OpenSitemap(const std::string& path, TReader& rd) {
    rd.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (rd.fd < 0) return OpenFailure(path, errno);
    struct stat st;
    if (fstat(rd.fd, &st) != 0) return OpenFailure(path, errno);
    if (S_ISDIR(st.st_mode)) return OpenFailure(path, EISDIR);
    // The streaming reader would call this "Extra content at the end of the document".
    if (S_ISREG(st.st_mode) && st.st_size == 0) return ReaderFailure("Document is empty");
    // libxml2 would read such a file as "Document is empty", which hides the cause.
    unsigned char magic[2] = {0, 0};
    if (S_ISREG(st.st_mode) && pread(rd.fd, magic, 2, 0) == 2 && magic[0] == 0x1F &&
        magic[1] == 0x8B)
        return ReaderFailure(Tr(kMsgSitemapCompressed));
    rd.r = xmlReaderForFd(rd.fd, path.c_str(), nullptr, XML_PARSE_NONET);
    if (!rd.r) return OpenFailure(path, ENOMEM);
    return {};
}

// Follows the reader node by node and collects the "loc" texts and the progress counts.
class TSitemapWalker {
  public:
    explicit TSitemapWalker(xmlTextReaderPtr r) : FReader(r) {}

    // False with a failure when the node ends the parse.
    TResult<> Visit() {
        const int type = xmlTextReaderNodeType(FReader);
        const int depth = xmlTextReaderDepth(FReader);
        // The streaming parser lets overlong UTF-8 through in CDATA sections (0xC0 0xAF for
        // "/"), where it rejects it everywhere else.
        if (type == XML_READER_TYPE_CDATA && !IsValidUtf8(Value()))
            return ReaderFailure("line " +
                                 std::to_string(xmlTextReaderGetParserLineNumber(FReader)) +
                                 ": Input is not proper UTF-8 in a CDATA section");
        if (depth == 0) {
            TakeRoot(type);
        } else if (!FRootIsUrlset) {
            // read on: a later syntax error still counts
        } else if (depth == 1) {
            VisitUrlsetChild(type);
        } else if (FInUrl && FInLoc) {
            return VisitInsideLoc(type, depth);
        } else if (FInUrl && depth == 2 && type == XML_READER_TYPE_ELEMENT) {
            StartLoc();
        }
        return {};
    }

    bool RootIsUrlset() const { return FRootIsUrlset; }
    TSitemap& Result() { return FResult; }

  private:
    std::string_view Value() const { return View(xmlTextReaderConstValue(FReader)); }
    bool IsElementOfUrlset(std::string_view localName) const {
        return View(xmlTextReaderConstLocalName(FReader)) == localName &&
               View(xmlTextReaderConstNamespaceUri(FReader)) == FNamespace;
    }

    void TakeRoot(int type) {
        if (type != XML_READER_TYPE_ELEMENT || FHaveRoot) return;
        FHaveRoot = true;
        FRootIsUrlset = View(xmlTextReaderConstLocalName(FReader)) == "urlset";
        FNamespace = View(xmlTextReaderConstNamespaceUri(FReader));
    }

    void VisitUrlsetChild(int type) {
        switch (type) {
            case XML_READER_TYPE_ELEMENT:
                FInUrl = IsElementOfUrlset("url") && !xmlTextReaderIsEmptyElement(FReader);
                FLocTaken = false;
                ++FResult.urlsetChildCount;
                break;
            case XML_READER_TYPE_END_ELEMENT:
                FInUrl = false;
                break;
            case XML_READER_TYPE_TEXT:
            case XML_READER_TYPE_CDATA:
            case XML_READER_TYPE_COMMENT:
            case XML_READER_TYPE_PROCESSING_INSTRUCTION:
            case XML_READER_TYPE_ENTITY_REFERENCE:
                ++FResult.urlsetChildCount;
                break;
            default:
                break;
        }
    }

    void StartLoc() {
        if (FLocTaken || !IsElementOfUrlset("loc")) return;
        FLocTaken = true;
        ++FResult.urlWithLocCount;
        FLocText.clear();
        FInLoc = true;
        if (xmlTextReaderIsEmptyElement(FReader)) FinishLoc();
    }

    TResult<> VisitInsideLoc(int type, int depth) {
        switch (type) {
            case XML_READER_TYPE_END_ELEMENT:
                if (depth == 2) FinishLoc();
                break;
            case XML_READER_TYPE_TEXT:
            case XML_READER_TYPE_CDATA:
            case XML_READER_TYPE_WHITESPACE:
            case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
                FLocText += Value();
                break;
            case XML_READER_TYPE_ENTITY_REFERENCE:
                // Expanding it is what entity attacks rely on; dropping it would cut the URL.
                return ReaderFailure(FormatLog(Tr(kMsgSitemapEntityInLoc),
                                               xmlGetLineNo(xmlTextReaderCurrentNode(FReader))));
            default:
                break;
        }
        return {};
    }

    void FinishLoc() {
        std::string_view t = TrimControl(FLocText);
        if (!t.empty()) FResult.locs.emplace_back(t);
        FInLoc = false;
    }

    xmlTextReaderPtr FReader;
    TSitemap FResult;
    bool FHaveRoot = false, FRootIsUrlset = false;
    std::string FNamespace;  // of "urlset"; a missing one reads as empty
    bool FInUrl = false, FLocTaken = false, FInLoc = false;
    std::string FLocText;
};

}  // namespace

TResult<TSitemap> ParseSitemap(const std::string& path) {
    TReader rd;
    if (TResult<> opened = OpenSitemap(path, rd); !opened) return Fail(opened.Error());
    TErrorSink errors;
    xmlTextReaderSetStructuredErrorHandler(rd.r, OnXmlError, &errors);

    TSitemapWalker walker(rd.r);
    int ret;
    while ((ret = xmlTextReaderRead(rd.r)) == 1) {
        if (TResult<> visited = walker.Visit(); !visited) return Fail(visited.Error());
    }
    if (ret != 0 || !errors.first.empty())
        return ReaderFailure(errors.first.empty() ? std::string("XML parse error") : errors.first);
    if (!walker.RootIsUrlset()) return Fail(Tr(kMsgSitemapNoUrlset));
    return std::move(walker.Result());
}

}  // namespace velmora::io
