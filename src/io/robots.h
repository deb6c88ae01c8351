// robots.txt: the sitemaps it announces and the rules a crawler obeys.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::io {

// A site announces a few sitemaps; thousands of lines are a trap, not a site's pages.
inline constexpr size_t kMaxRobotsSitemaps = 50;
// The product token the crawl looks for in "User-agent:" lines (any case).
inline constexpr std::string_view kRobotsAgent = "velmora";
// Search engines read no more of a robots.txt either.
inline constexpr std::int64_t kMaxRobotsBytes = 512 * 1024;

// The addresses of the "Sitemap:" lines of a robots.txt, in order, each once, at most
// kMaxRobotsSitemaps of them.
std::vector<std::string> RobotsSitemaps(std::string_view robotsTxt);

// The rules of the group for kRobotsAgent, else of the group for "*" (groups naming the same
// agent are merged). A path is allowed unless the longest matching pattern is a Disallow; on a
// tie Allow wins. Patterns take "*" for any run of characters and a final "$" for the end.
class TRobotsRules {
  public:
    TRobotsRules() = default;  // allows everything
    explicit TRobotsRules(std::string_view robotsTxt);
    // Nothing is allowed: the site's robots.txt could not be read for a fault of the server.
    static TRobotsRules DisallowAll();

    // pathAndQuery starts with "/"; "/robots.txt" is always allowed.
    bool Allowed(std::string_view pathAndQuery) const;
    // The group's Crawl-delay, 0 when it has none.
    std::chrono::milliseconds CrawlDelay() const { return FCrawlDelay; }

  private:
    struct TRule {
        std::string Pattern;
        bool Allow = false;
    };
    std::vector<TRule> FRules;
    std::chrono::milliseconds FCrawlDelay{0};
};

}  // namespace velmora::io
