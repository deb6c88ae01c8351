#include "io/robots.h"

#include <gtest/gtest.h>

namespace velmora::io {
namespace {

TEST(RobotsRules, LongestMatchWildcardsAndGroups) {
    const struct {
        const char* robots;
        const char* path;
        bool allowed;
    } cases[] = {
        {"User-agent: *\nDisallow: /a\nAllow: /a/b", "/a/b/c", true},
        {"User-agent: *\nDisallow: /a/b\nAllow: /a", "/a/b/c", false},
        {"User-agent: *\nDisallow: /a\nAllow: /a", "/a", true},  // a tie: Allow
        {"User-agent: *\nDisallow: /*.php$", "/x.php", false},
        {"User-agent: *\nDisallow: /*.php$", "/x.php?y", true},
        {"User-agent: *\nDisallow: /*.php", "/x.php?y", false},
        {"User-agent: *\nDisallow: /a*b*c", "/a--b--c-d", false},
        {"User-agent: *\nDisallow: /a*b*c$", "/a--b--c-d", true},
        {"User-agent: *\nDisallow: /*?", "/list?page=2", false},
        {"User-agent: *\nDisallow:", "/anything", true},
        {"User-agent: *\nDisallow: /", "/robots.txt", true},
        {"User-agent: other\nDisallow: /", "/x", true},
        // Our own group wins over "*", however it is spelt; groups naming us are merged.
        {"User-agent: *\nDisallow: /\n\nUser-Agent: VELMORA\nAllow: /open", "/x", true},
        {"User-agent: *\nAllow: /\n\nuser-agent: velmora\nDisallow: /a\n"
         "User-agent: x\nUser-agent: Velmora\nDisallow: /b",
         "/b", false},
        // Several agents share one group; a rule line ends the list of agents.
        {"User-agent: a\nUser-agent: *\nDisallow: /p # note\nUser-agent: b\nDisallow: /q", "/p",
         false},
        {"User-agent: a\nUser-agent: *\nDisallow: /p\nUser-agent: b\nDisallow: /q", "/q", true},
        {"\xEF\xBB\xBFUser-agent: *\r\nDisallow: /crlf\r\n", "/crlf", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TRobotsRules(c.robots).Allowed(c.path), c.allowed) << c.robots << " | " << c.path;
}

TEST(RobotsRules, CrawlDelayOfTheChosenGroup) {
    const struct {
        const char* robots;
        long long ms;
    } cases[] = {
        {"User-agent: *\nCrawl-delay: 2", 2000},
        {"User-agent: *\nCrawl-delay: 0.25", 250},
        {"User-agent: *\nCrawl-delay: 2\nUser-agent: velmora\nCrawl-delay: 1", 1000},
        {"User-agent: *\nCrawl-delay: soon", 0},
        {"User-agent: other\nCrawl-delay: 9", 0},
        {"User-agent: *\nCrawl-delay: 99999999", 3'600'000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TRobotsRules(c.robots).CrawlDelay().count(), c.ms) << c.robots;
}

}  // namespace
}  // namespace velmora::io
