#include "io/robots.h"

#include <algorithm>
#include <charconv>

#include "base/text.h"

namespace velmora::io {
namespace {

// A robots.txt of hundreds of thousands of rules is a trap; every path is checked against all.
constexpr size_t kMaxRobotsRules = 10'000;
// A longer delay would stall the crawl past any deadline; the deadline ends it anyway.
constexpr double kMaxCrawlDelayS = 3600;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

// Calls take(field in lower case, value) for every "field: value" line, comments dropped.
template <class F>
void ForEachLine(std::string_view text, F take) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (const size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        if (!take(AsciiLower(Trim(line.substr(0, colon))), Trim(line.substr(colon + 1)))) return;
    }
}

// "*" matches any run, a final "$" the end; otherwise a pattern matches a prefix.
bool Matches(std::string_view pattern, std::string_view path) {
    bool anchored = !pattern.empty() && pattern.back() == '$';
    if (anchored) pattern.remove_suffix(1);
    size_t p = 0, s = 0, starP = std::string_view::npos, starS = 0;
    while (true) {
        if (p == pattern.size()) {
            if (!anchored || s == path.size()) return true;
        } else if (pattern[p] == '*') {
            starP = p++;
            starS = s;
            continue;
        } else if (s < path.size() && pattern[p] == path[s]) {
            ++p;
            ++s;
            continue;
        }
        if (starP == std::string_view::npos || starS >= path.size()) return false;
        p = starP + 1;
        s = ++starS;
    }
}

}  // namespace

std::vector<std::string> RobotsSitemaps(std::string_view robotsTxt) {
    std::vector<std::string> found;
    ForEachLine(robotsTxt, [&](const std::string& field, std::string_view value) {
        if (field != "sitemap" || value.empty()) return true;
        if (std::find(found.begin(), found.end(), value) == found.end()) found.emplace_back(value);
        return found.size() < kMaxRobotsSitemaps;
    });
    return found;
}

TRobotsRules::TRobotsRules(std::string_view robotsTxt) {
    // Each group's rules by whether it names our token, "*", or neither.
    std::vector<TRule> own, any;
    double ownDelay = -1, anyDelay = -1;
    bool inAgents = false, forOwn = false, forAny = false, ownGroup = false;
    ForEachLine(robotsTxt, [&](const std::string& field, std::string_view value) {
        if (field == "user-agent") {
            if (!inAgents) forOwn = forAny = false;
            inAgents = true;
            const std::string agent = AsciiLower(value);
            forOwn |= agent == kRobotsAgent;
            ownGroup |= forOwn;
            forAny |= agent == "*";
            return true;
        }
        inAgents = false;
        if (field == "crawl-delay") {
            double seconds = 0;
            const auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (ec == std::errc() && seconds >= 0) {
                if (forOwn) ownDelay = seconds;
                if (forAny) anyDelay = seconds;
            }
        } else if ((field == "allow" || field == "disallow") && !value.empty()) {
            const TRule rule{std::string(value), field == "allow"};
            if (forOwn && own.size() < kMaxRobotsRules) own.push_back(rule);
            if (forAny && any.size() < kMaxRobotsRules) any.push_back(rule);
        }
        return true;
    });
    const bool useOwn = ownGroup;
    FRules = useOwn ? std::move(own) : std::move(any);
    const double delay = std::min(useOwn ? ownDelay : anyDelay, kMaxCrawlDelayS);
    if (delay > 0) FCrawlDelay = std::chrono::milliseconds(static_cast<long long>(delay * 1000));
}

TRobotsRules TRobotsRules::DisallowAll() {
    TRobotsRules rules;
    rules.FRules.push_back({"/", false});
    return rules;
}

bool TRobotsRules::Allowed(std::string_view pathAndQuery) const {
    if (pathAndQuery == "/robots.txt") return true;
    size_t bestLength = 0;
    bool allowed = true;
    for (const TRule& rule : FRules) {
        if (!Matches(rule.Pattern, pathAndQuery)) continue;
        const size_t length = rule.Pattern.size();
        if (length > bestLength || (length == bestLength && rule.Allow)) {
            bestLength = length;
            allowed = rule.Allow;
        }
    }
    return allowed;
}

}  // namespace velmora::io
