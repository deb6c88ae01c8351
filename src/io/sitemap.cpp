#include "io/sitemap.h"

#include <fcntl.h>
#include <libxml/xmlreader.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "base/translate.h"
#include "base/utf8.h"
#include "io/codepage.h"
#include "io/file_read.h"
#include "io/gzip.h"
#include "io/import_texts.h"
#include "io/url_import.h"

namespace velmora::io {

namespace {

// libxml2 declares the handler's error parameter const from 2.12 on; take whichever this one
// declares.
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

// "line n: message", translated.
std::string AtLine(long line, const std::string& message) {
    return FormatLog(Tr(kMsgSitemapAtLine), static_cast<int32_t>(line), message);
}

void OnXmlError(void* ctx, TXmlErrorPtr err) {
    auto* sink = static_cast<TErrorSink*>(ctx);
    if (!err || err->level < XML_ERR_ERROR || !sink->first.empty()) return;
    std::string msg = err->message ? ValidUtf8(TrimControl(err->message)) : Tr(kMsgSitemapXmlError);
    if (err->line > 0) msg = AtLine(err->line, msg);
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
    if (S_ISREG(st.st_mode) && st.st_size == 0) return ReaderFailure(Tr(kMsgSitemapEmpty));
    rd.r = xmlReaderForFd(rd.fd, path.c_str(), nullptr, XML_PARSE_NONET);
    if (!rd.r) return OpenFailure(path, ENOMEM);
    return {};
}

// Follows the reader node by node and collects the "loc" texts and the progress counts.
class TSitemapWalker {
  public:
    TSitemapWalker(xmlTextReaderPtr r, size_t maxUrls) : FReader(r), FMaxUrls(maxUrls) {}

    // False with a failure when the node ends the parse.
    TResult<> Visit() {
        const int type = xmlTextReaderNodeType(FReader);
        const int depth = xmlTextReaderDepth(FReader);
        // The streaming parser lets overlong UTF-8 through in CDATA sections (0xC0 0xAF for
        // "/"), where it rejects it everywhere else.
        if (type == XML_READER_TYPE_CDATA && !IsValidUtf8(Value()))
            return ReaderFailure(
                AtLine(xmlTextReaderGetParserLineNumber(FReader), Tr(kMsgSitemapBadUtf8InCdata)));
        if (depth == 0) {
            TakeRoot(type);
        } else if (!FRootIsUrlset) {
            // read on: a later syntax error still counts
        } else if (depth == 1) {
            VisitUrlsetChild(type);
        } else if (FInUrl && FInLoc) {
            if (TResult<> inside = VisitInsideLoc(type, depth); !inside) return inside;
            if (FMaxUrls > 0 && FResult.locs.size() > FMaxUrls)
                return Fail(Tr(kMsgSitemapTooManyUrls));
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
        const std::string_view name = View(xmlTextReaderConstLocalName(FReader));
        FResult.isIndex = name == "sitemapindex";
        FRootIsUrlset = name == "urlset" || FResult.isIndex;
        FItemName = FResult.isIndex ? "sitemap" : "url";
        FNamespace = View(xmlTextReaderConstNamespaceUri(FReader));
    }

    void VisitUrlsetChild(int type) {
        switch (type) {
            case XML_READER_TYPE_ELEMENT:
                FInUrl = IsElementOfUrlset(FItemName) && !xmlTextReaderIsEmptyElement(FReader);
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
                return ReaderFailure(AtLine(xmlGetLineNo(xmlTextReaderCurrentNode(FReader)),
                                            Tr(kMsgSitemapEntityInLoc)));
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
    size_t FMaxUrls;  // 0: no limit
    std::string_view FItemName = "url";
    TSitemap FResult;
    bool FHaveRoot = false, FRootIsUrlset = false;
    std::string FNamespace;  // of "urlset"; a missing one reads as empty
    bool FInUrl = false, FLocTaken = false, FInLoc = false;
    std::string FLocText;
};

// Reads the document to its end; the walker's result, or why it stopped.
TResult<TSitemap> Walk(xmlTextReaderPtr r, size_t maxUrls,
                       const std::function<bool()>& inputFailure) {
    TErrorSink errors;
    xmlTextReaderSetStructuredErrorHandler(r, OnXmlError, &errors);
    TSitemapWalker walker(r, maxUrls);
    int ret;
    while ((ret = xmlTextReaderRead(r)) == 1) {
        if (TResult<> visited = walker.Visit(); !visited) return Fail(visited.Error());
    }
    if (ret != 0 || !errors.first.empty()) {
        if (inputFailure && inputFailure()) return Fail(std::string());
        return ReaderFailure(errors.first.empty() ? Tr(kMsgSitemapXmlError) : errors.first);
    }
    if (!walker.RootIsUrlset()) return Fail(Tr(kMsgSitemapNoUrlset));
    return std::move(walker.Result());
}

// The bytes libxml2 pulls from memory, through the decompressor when they are gzip.
struct TMemoryInput {
    std::string_view bytes;
    size_t pos = 0;
    std::unique_ptr<TGunzip> gunzip;
    const TSitemapLimits* limits = nullptr;
    const char* failure = nullptr;  // untranslated reason the input stopped

    static int Read(void* ctx, char* buffer, int len) {
        auto* in = static_cast<TMemoryInput*>(ctx);
        if (in->limits->aborted && in->limits->aborted()) {
            in->failure = kMsgSitemapAborted;
            return -1;
        }
        if (in->gunzip) {
            const int got = in->gunzip->Read(buffer, len);
            if (got < 0)
                in->failure =
                    in->gunzip->LimitExceeded() ? kMsgSitemapTooLarge : kMsgSitemapBadGzip;
            return got;
        }
        const size_t n = std::min(static_cast<size_t>(len), in->bytes.size() - in->pos);
        std::memcpy(buffer, in->bytes.data() + in->pos, n);
        in->pos += n;
        return static_cast<int>(n);
    }
    static int Close(void*) { return 0; }
};

}  // namespace

TResult<TSitemap> ParseSitemapBytes(std::string_view bytes, const std::string& name,
                                    const TSitemapLimits& limits) {
    TMemoryInput in;
    in.bytes = bytes;
    in.limits = &limits;
    if (IsGzip(bytes)) {
        in.gunzip =
            std::make_unique<TGunzip>(bytes, limits.maxBytes > 0 ? limits.maxBytes : SIZE_MAX);
    } else if (limits.maxBytes > 0 && bytes.size() > limits.maxBytes) {
        return Fail(Tr(kMsgSitemapTooLarge));
    }
    if (bytes.empty()) return ReaderFailure(Tr(kMsgSitemapEmpty));
    TReader rd;
    rd.r = xmlReaderForIO(&TMemoryInput::Read, &TMemoryInput::Close, &in, name.c_str(), nullptr,
                          XML_PARSE_NONET);
    if (!rd.r) return ReaderFailure(std::strerror(ENOMEM));
    TResult<TSitemap> parsed = Walk(rd.r, limits.maxUrls, [&] { return in.failure != nullptr; });
    if (in.failure) return Fail(Tr(in.failure));
    return parsed;
}

TResult<TSitemap> ParseSitemap(const std::string& path) {
    TReader rd;
    if (TResult<> opened = OpenSitemap(path, rd); !opened) return Fail(opened.Error());
    char magic[2] = {};
    if (pread(rd.fd, magic, sizeof magic, 0) == 2 && IsGzip(std::string_view(magic, 2))) {
        TResult<std::string> raw = ReadWholeFile(path);
        if (!raw) return OpenFailure(path, raw.Code());
        return ParseSitemapBytes(*raw, path, TSitemapLimits{});
    }
    // A plain file keeps the protocol's limits as its compressed twin does: a file of millions
    // of entries would take far more memory than any import can use.
    struct stat st {};
    if (::fstat(rd.fd, &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<unsigned long long>(st.st_size) > kMaxSitemapBytes)
        return Fail(Tr(kMsgSitemapTooLarge));
    return Walk(rd.r, kMaxSitemapUrls, {});
}

}  // namespace velmora::io
