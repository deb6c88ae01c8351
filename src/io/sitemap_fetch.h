// Sitemaps from a site or a local file, index files followed: the candidate URLs of an import.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "base/result.h"

namespace velmora::io {

inline constexpr int kMaxSitemapIndexDepth = 3;
inline constexpr size_t kMaxSitemapChildFiles = 1000;
inline constexpr int kMaxParallelSitemapFetches = 4;
// Beyond this many candidates further URLs are only counted, so that a huge index cannot
// fill memory; the import takes far fewer anyway.
inline constexpr size_t kMaxSitemapCandidates = 1'000'000;
inline constexpr std::chrono::seconds kDefaultSitemapTimeout{300};

struct TSitemapLoad {
    // Document order; the children of an index in index order.
    std::vector<std::string> urls;
    // Candidates beyond kMaxSitemapCandidates, counted but not kept.
    size_t urlsNotKept = 0;
    // One translated line per file left out (kMsgSitemapFileLeftOut and the reason).
    std::vector<std::string> leftOut;
};

struct TSitemapFetchOptions {
    // Set from any thread to end the downloads in progress.
    const std::atomic<bool>* abort = nullptr;
    // Called on the loading thread after each file: files done, files known so far.
    std::function<void(size_t done, size_t known)> progress;
    long connectTimeoutMs = 15'000;
    long transferTimeoutMs = 60'000;
    // The whole import, every download included: slow servers cannot make it run for hours.
    std::chrono::seconds timeout = kDefaultSitemapTimeout;
    // Set by LoadSitemap from timeout.
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

// True for an address that starts with http:// or https:// (ASCII case ignored).
bool IsWebAddress(std::string_view text);

// source is a web address or a local path. A site's root ("https://site/") or its robots.txt
// is looked up through robots.txt's "Sitemap:" lines, else "/sitemap.xml". Index files are
// followed up to kMaxSitemapIndexDepth levels, each address once, at most
// kMaxSitemapChildFiles child files, kMaxParallelSitemapFetches downloads at once; the children
// of a web index must be web addresses, those of a local index may also be paths relative to
// it. A child that cannot be read is left out (TSitemapLoad::leftOut); only a source that
// cannot be read fails, with a translated message.
TResult<TSitemapLoad> LoadSitemap(const std::string& source, const TSitemapFetchOptions& options);

}  // namespace velmora::io
