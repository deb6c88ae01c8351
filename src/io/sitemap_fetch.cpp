#include "io/sitemap_fetch.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "base/text.h"
#include "base/translate.h"
#include "http/url.h"
#include "io/file_read.h"
#include "io/import_texts.h"
#include "io/robots.h"
#include "io/sitemap.h"
#include "io/web_fetch.h"

namespace velmora::io {
namespace {

constexpr long kMaxRedirects = 5;

struct TNode {
    std::string address;
    bool web = false;
    int depth = 1;
    TSitemap map;
    std::string failure;  // translated reason it is left out; empty when read
    std::vector<size_t> children;
    size_t notKept = 0;  // URLs dropped for kMaxSitemapCandidates
};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && AsciiLower(text.substr(0, prefix.size())) == prefix;
}

// "scheme://host[:port]" of a web address, and the rest (the path, possibly empty).
std::pair<std::string, std::string> SplitOrigin(const std::string& url) {
    const size_t hostStart = url.find("://") + 3;
    const size_t pathStart = url.find_first_of("/?#", hostStart);
    if (pathStart == std::string::npos) return {url, std::string()};
    return {url.substr(0, pathStart), url.substr(pathStart)};
}

// The body of a 200 answer, or the translated reason there is none.
TResult<std::string> Download(const std::string& url, std::int64_t maxBytes,
                              const TSitemapFetchOptions& o) {
    TResult<TWebAnswer> answer = FetchWeb({.url = url,
                                           .maxBytes = maxBytes,
                                           .connectTimeoutMs = o.connectTimeoutMs,
                                           .transferTimeoutMs = o.transferTimeoutMs,
                                           .deadline = o.deadline,
                                           .abort = o.abort,
                                           .maxRedirects = kMaxRedirects});
    if (!answer) return answer.Failure();
    if (answer->status != 200)
        return Fail(FormatLog(Tr(kMsgSitemapHttpStatus), int32_t(answer->status)));
    return std::move(answer->body);
}

TResult<TSitemap> ReadLocalChild(const std::string& path, const TSitemapLimits& limits) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<unsigned long long>(st.st_size) > kMaxSitemapBytes)
        return Fail(Tr(kMsgSitemapTooLarge));
    TResult<std::string> raw = ReadWholeFile(path);
    if (!raw) return Fail(FormatLog(Tr(kMsgFileReadFailed), 0, raw.Error()));
    return ParseSitemapBytes(*raw, path, limits);
}

// Reads one file into node. A root file the user names is streamed from the disk; it keeps the
// protocol's limits as every other file does.
void Fetch(TNode& node, bool userFile, const TSitemapFetchOptions& o) {
    TSitemapLimits limits;
    if (o.abort) limits.aborted = [a = o.abort] { return a->load(); };
    TResult<TSitemap> map = Fail(std::string());
    if (!node.web) {
        map = userFile ? ParseSitemap(node.address) : ReadLocalChild(node.address, limits);
    } else {
        TResult<std::string> body = Download(node.address, kMaxSitemapBytes, o);
        if (!body) {
            node.failure = body.Error();
            return;
        }
        map = ParseSitemapBytes(*body, node.address, limits);
    }
    if (map)
        node.map = std::move(*map);
    else
        node.failure = map.Error();
}

// The sitemaps a site announces: robots.txt's lines, else its /sitemap.xml.
std::vector<std::string> SiteSitemaps(const std::string& origin, const TSitemapFetchOptions& o) {
    TResult<std::string> robots = Download(origin + "/robots.txt", kMaxRobotsBytes, o);
    std::vector<std::string> found;
    if (robots) found = RobotsSitemaps(*robots);
    if (found.empty()) found.push_back(origin + "/sitemap.xml");
    return found;
}

class TSitemapTree {
  public:
    explicit TSitemapTree(const TSitemapFetchOptions& o) : FOptions(o) {}

    void AddRoot(std::string address, bool web, std::string failure = {}) {
        FSeen.insert(address);
        FRoots.push_back(NewNode(std::move(address), web, 1, std::move(failure)));
    }

    // Reads level by level, so that several files of one level download at once.
    void ReadAll(bool userFile) {
        std::vector<size_t> level = FRoots;
        while (!level.empty()) {
            FetchLevel(level, userFile);
            userFile = false;
            std::vector<size_t> next;
            for (size_t i : level) AddChildren(i, next);
            level = std::move(next);
        }
    }

    const TNode& Root(size_t i) const { return *FNodes[FRoots[i]]; }
    size_t RootCount() const { return FRoots.size(); }

    TSitemapLoad Collect() const {
        TSitemapLoad load;
        for (size_t r : FRoots) Collect(r, load);
        return load;
    }

  private:
    size_t NewNode(std::string address, bool web, int depth, std::string failure = {}) {
        auto node = std::make_unique<TNode>();
        node->address = std::move(address);
        node->web = web;
        node->depth = depth;
        node->failure = std::move(failure);
        FNodes.push_back(std::move(node));
        return FNodes.size() - 1;
    }

    void FetchLevel(const std::vector<size_t>& level, bool userFile) {
        std::atomic<size_t> nextIndex{0};
        std::mutex progressMutex;
        auto work = [&] {
            for (size_t k; (k = nextIndex++) < level.size();) {
                TNode& node = *FNodes[level[k]];
                if (node.failure.empty()) Fetch(node, userFile, FOptions);
                if (node.failure.empty() && !node.map.isIndex) Bound(node);
                const std::lock_guard lock(progressMutex);
                ++FDone;
                if (FOptions.progress) FOptions.progress(FDone, FNodes.size());
            }
        };
        const size_t threads =
            std::min<size_t>(level.size(), static_cast<size_t>(kMaxParallelSitemapFetches));
        std::vector<std::thread> pool;
        for (size_t t = 1; t < threads; ++t) pool.emplace_back(work);
        work();
        for (std::thread& t : pool) t.join();
    }

    // Keeps memory bounded however many files an index names; which files keep their URLs
    // then depends on download order, but the import takes the first 10 000 anyway.
    void Bound(TNode& node) {
        std::vector<std::string>& locs = node.map.locs;
        const size_t before = FKept.fetch_add(locs.size());
        const size_t room = before >= kMaxSitemapCandidates ? 0 : kMaxSitemapCandidates - before;
        if (locs.size() <= room) return;
        node.notKept = locs.size() - room;
        locs.resize(room);
        locs.shrink_to_fit();
    }

    void AddChildren(size_t parentIndex, std::vector<size_t>& next) {
        TNode& parent = *FNodes[parentIndex];
        if (!parent.failure.empty() || !parent.map.isIndex) return;
        std::vector<std::string> locs = std::move(parent.map.locs);
        for (std::string& loc : locs) {
            if (FChildFiles >= kMaxSitemapChildFiles) {
                if (!FTooManyReported)
                    parent.children.push_back(
                        NewNode(loc, true, parent.depth + 1, Tr(kMsgSitemapTooManyFiles)));
                FTooManyReported = true;
                return;
            }
            bool web = IsWebAddress(loc);
            std::string failure;
            if (!web && (parent.web || loc.find("://") != std::string::npos)) {
                failure = Tr(kMsgSitemapNotWeb);
            } else if (!web && !loc.empty() && loc[0] != '/') {
                const size_t slash = parent.address.rfind('/');
                if (slash != std::string::npos) loc = parent.address.substr(0, slash + 1) + loc;
            }
            if (!FSeen.insert(loc).second) continue;  // a loop, or listed twice
            if (failure.empty() && parent.depth >= kMaxSitemapIndexDepth)
                failure = Tr(kMsgSitemapTooDeep);
            ++FChildFiles;
            const size_t child = NewNode(std::move(loc), web, parent.depth + 1, failure);
            parent.children.push_back(child);
            next.push_back(child);
        }
    }

    void Collect(size_t i, TSitemapLoad& load) const {
        const TNode& node = *FNodes[i];
        if (!node.failure.empty()) {
            load.leftOut.push_back(
                FormatLog(Tr(kMsgSitemapFileLeftOut), 0, http::WithoutUserInfo(node.address)) +
                " (" + node.failure + ")");
            return;
        }
        if (node.map.isIndex) {
            for (size_t c : node.children) Collect(c, load);
            return;
        }
        load.urls.insert(load.urls.end(), node.map.locs.begin(), node.map.locs.end());
        load.urlsNotKept += node.notKept;
    }

    const TSitemapFetchOptions& FOptions;
    std::vector<std::unique_ptr<TNode>> FNodes;
    std::vector<size_t> FRoots;
    std::unordered_set<std::string> FSeen;
    size_t FChildFiles = 0;
    std::atomic<size_t> FKept{0};
    size_t FDone = 0;
    bool FTooManyReported = false;
};

}  // namespace

bool IsWebAddress(std::string_view text) {
    return StartsWithNoCase(text, "http://") || StartsWithNoCase(text, "https://");
}

static TResult<TSitemapLoad> LoadSitemapBy(const std::string& source,
                                           const TSitemapFetchOptions& options);

TResult<TSitemapLoad> LoadSitemap(const std::string& source, const TSitemapFetchOptions& options) {
    TSitemapFetchOptions timed = options;
    timed.deadline = std::chrono::steady_clock::now() + options.timeout;
    return LoadSitemapBy(source, timed);
}

static TResult<TSitemapLoad> LoadSitemapBy(const std::string& source,
                                           const TSitemapFetchOptions& options) {
    TSitemapTree tree(options);
    const bool web = IsWebAddress(source);
    bool fromSite = false;
    if (web) {
        const auto [origin, path] = SplitOrigin(source);
        fromSite = path.empty() || path == "/" || path == "/robots.txt";
        if (fromSite) {
            for (std::string& address : SiteSitemaps(origin, options)) {
                if (!address.empty() && address[0] == '/') address = origin + address;
                // A site's file never names a path on this computer.
                const bool isWeb = IsWebAddress(address);
                tree.AddRoot(std::move(address), true,
                             isWeb ? std::string() : Tr(kMsgSitemapNotWeb));
            }
        } else {
            tree.AddRoot(source, true);
        }
    } else {
        tree.AddRoot(source, false);
    }
    tree.ReadAll(!web);
    if (options.abort && options.abort->load()) return Fail(Tr(kMsgSitemapAborted));

    // A source none of whose files can be read is an error, not an empty list.
    bool anyRead = false;
    for (size_t i = 0; i < tree.RootCount(); ++i) anyRead |= tree.Root(i).failure.empty();
    if (!anyRead) {
        const TNode& first = tree.Root(0);
        return Fail(web ? http::WithoutUserInfo(first.address) + ": " + first.failure
                        : first.failure);
    }
    return tree.Collect();
}

}  // namespace velmora::io
