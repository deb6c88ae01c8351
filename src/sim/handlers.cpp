#include <sstream>

#include "base/text.h"
#include "sim/simulator_impl.h"

namespace velmora::sim {

namespace {

constexpr char kPath[] = "/pagespeedonline/v5/runPagespeed";

enum class Behaviour {
    kNormal,
    kNotHtml,
    kQuota,
    kQuotaLegacy,
    kError500,
    kErrorCodeWord,
    kErrorNoMessage,
    kBadJson,
    kArray,
    kEmpty,
    kHang,
    kDrop,
    kTrickle,
    kSlow,
    kNoScore,
    kNoAudits,
    kPdf,
    kText,
};

struct Marker {
    std::string_view text;  // lower case; matched against the lower-cased URL
    Behaviour behaviour;
};

// First match wins, so a marker that contains another comes before it.
constexpr Marker kMarkers[] = {
    {"/sim-nothtml", Behaviour::kNotHtml},
    {"/sim-quota-legacy", Behaviour::kQuotaLegacy},
    {"/sim-quota", Behaviour::kQuota},
    {"/sim-error500", Behaviour::kError500},
    {"/sim-error-codeword", Behaviour::kErrorCodeWord},
    {"/sim-error-nomessage", Behaviour::kErrorNoMessage},
    {"/sim-badjson", Behaviour::kBadJson},
    {"/sim-array", Behaviour::kArray},
    {"/sim-empty", Behaviour::kEmpty},
    {"/sim-hang", Behaviour::kHang},
    {"/sim-drop", Behaviour::kDrop},
    {"/sim-trickle", Behaviour::kTrickle},
    {"/sim-slow", Behaviour::kSlow},
    {"/sim-noscore", Behaviour::kNoScore},
    {"/sim-noaudits", Behaviour::kNoAudits},
    {"/sim-pdf", Behaviour::kPdf},
    {"/sim-text", Behaviour::kText},
};

// Which recorded answer a normal request gets, by markers that combine with the behaviours.
struct AnswerChoice {
    int version, field, heavy;
};

// The four-category page a URL stands for; heavy pages are the poor one.
int CategoryPage(const std::string& lowerUrl) {
    auto has = [&](std::string_view marker) { return lowerUrl.find(marker) != std::string::npos; };
    if (has("error404")) return kCatError404;
    if (has("agentic")) return kCatAgentic;
    if (has("noindex")) return kCatNoindex;
    if (has("poor") || has("heavy")) return kCatPoor;
    return kCatGood;
}

AnswerChoice ChooseAnswer(const std::string& lowerUrl) {
    auto has = [&](std::string_view marker) { return lowerUrl.find(marker) != std::string::npos; };
    AnswerChoice c{};
    c.heavy = has("heavy") ? 1 : 0;
    c.version = has("/sim-lh12") ? kLighthouse12 : kLighthouse13;
    if (c.version == kLighthouse12 || has("/sim-nofield"))
        c.field = kNoField;
    else if (has("/sim-originfield"))
        c.field = kOriginField;
    else
        // Heavy pages stand for sites with many visitors, the others for small ones.
        c.field = c.heavy ? kPageField : kNoField;
    return c;
}

Behaviour Classify(std::string_view url) {
    std::string lower = AsciiLower(url);
    for (const Marker& m : kMarkers) {
        if (lower.find(m.text) != std::string::npos) return m.behaviour;
    }
    return Behaviour::kNormal;
}

}  // namespace

std::string ErrorBody(int code, std::string_view message, std::string_view reason,
                      std::string_view status) {
    std::string msg = JsonEscape(message);
    std::ostringstream o;
    o << "{\n  \"error\": {\n    \"code\": " << code << ",\n    \"message\": \"" << msg
      << "\",\n    \"errors\": [\n      {\n        \"message\": \"" << msg
      << "\",\n        \"domain\": \"global\",\n        \"reason\": \"" << reason
      << "\"\n      }\n    ],\n    \"status\": \"" << status << "\"\n  }\n}\n";
    return o.str();
}

void Simulator::Impl::Handle(const httplib::Request& req, httplib::Response& res) {
    const auto arrival = Clock::now();
    if (req.path != kPath) {
        Reply(res, 404, ErrorBody(404, "Not Found: " + req.path, "notFound", "NOT_FOUND"));
        return;
    }
    const std::string outcome = Decide();
    const Query q = RecordRequest(req, arrival, outcome.empty() ? "answer" : outcome);
    if (RejectBadQuery(q, res) || !Misbehave(outcome, req, res) || !Pace(req, res)) return;
    Answer(q, req, res);
}

Query Simulator::Impl::RecordRequest(const httplib::Request& req, Clock::time_point arrival,
                                     std::string outcome) {
    RequestRecord rec;
    rec.outcome = std::move(outcome);
    rec.arrivalMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(arrival - FStarted).count();
    // The service reads the first of repeated parameters, and the key's name in any case.
    bool hasStrategy = false, hasUrl = false, hasKey = false, otherCategories = false;
    for (const auto& [name, value] : req.params) {
        if (name == "category" && AsciiLower(value) != "performance") otherCategories = true;
        if (name == "strategy" && !hasStrategy) {
            rec.strategy = value;
            hasStrategy = true;
        } else if (name == "url" && !hasUrl) {
            rec.url = value;
            hasUrl = true;
        } else if (name == "locale" && rec.locale.empty()) {
            rec.locale = value;
        } else if (AsciiLower(name) == "key" && !hasKey) {
            rec.key = value;
            hasKey = true;
        }
    }
    rec.userAgent = req.get_header_value("User-Agent");
    rec.acceptEncoding = req.get_header_value("Accept-Encoding");
    rec.clientPort = req.remote_port;
    Query q{rec.url, AsciiLower(rec.strategy), hasStrategy, otherCategories};
    Record(std::move(rec));
    return q;
}

bool Simulator::Impl::RejectBadQuery(const Query& q, httplib::Response& res) {
    if (q.url.empty()) {
        Reply(res, 400, ErrorBody(400, "Required parameter: url", "required", "INVALID_ARGUMENT"));
        return true;
    }
    if (q.hasStrategy && q.strategy != "desktop" && q.strategy != "mobile") {
        Reply(res, 400,
              ErrorBody(400,
                        "Invalid value at 'strategy' "
                        "(type.googleapis.com/"
                        "google.cloud.pagespeedonline.v5.PagespeedApiPagespeedRequest.Strategy), "
                        "\"" +
                            q.strategy + "\"",
                        "invalid", "INVALID_ARGUMENT"));
        return true;
    }
    return false;
}

std::string Simulator::Impl::Decide() {
    std::string quota = TakeQuota();
    return quota.empty() ? DrawFault() : quota;
}

bool Simulator::Impl::Misbehave(const std::string& outcome, const httplib::Request& req,
                                httplib::Response& res) {
    if (outcome.empty()) return true;
    const std::string retryAfter =
        FOptions.retryAfterS >= 0 ? std::to_string(FOptions.retryAfterS) : "";
    if (outcome == "quota-minute" || outcome == "quota-day") {
        Reply(res, 429, outcome == "quota-day" ? FDailyQuota : FFixtures.quota);
        if (!retryAfter.empty()) res.set_header("Retry-After", retryAfter);
    } else if (outcome == "fail") {
        Reply(res, 500, ErrorBody(500, "Internal error encountered.", "backendError", "INTERNAL"));
        if (!retryAfter.empty()) res.set_header("Retry-After", retryAfter);
    } else if (outcome == "hang") {
        WaitFor(FOptions.hangMs);
        Drop(req, res);
    } else {
        Drop(req, res);
    }
    return false;
}

// False when Stop came during the latency.
bool Simulator::Impl::Pace(const httplib::Request& req, httplib::Response& res) {
    if (int ms = LatencyMs(); ms > 0 && !WaitFor(ms)) {
        Drop(req, res);
        return false;
    }
    return true;
}

void Simulator::Impl::Answer(const Query& q, const httplib::Request& req, httplib::Response& res) {
    const int mobile = q.strategy == "mobile" ? 1 : 0;
    const AnswerChoice c = ChooseAnswer(AsciiLower(q.url));
    const std::string escapedUrl = JsonEscape(q.url);
    auto render = [&](int variant) {
        if (q.otherCategories && variant == kNormal)
            return FFixtures.categories[CategoryPage(AsciiLower(q.url))][mobile].Render(escapedUrl);
        return FFixtures.answers[c.version][c.field][variant][c.heavy][mobile].Render(escapedUrl);
    };
    switch (Classify(q.url)) {
        case Behaviour::kNormal:
            return Reply(res, 200, render(kNormal));
        case Behaviour::kNoScore:
            return Reply(res, 200, render(kNoScore));
        case Behaviour::kNoAudits:
            return Reply(res, 200, render(kNoAudits));
        case Behaviour::kPdf:
            return Reply(res, 200, FFixtures.pdf.Render(escapedUrl));
        case Behaviour::kText:
            return Reply(res, 200, FFixtures.text.Render(escapedUrl));
        case Behaviour::kNotHtml:
            return Reply(res, 400, FFixtures.notHtml);
        case Behaviour::kQuota:
            return Reply(res, 429, FFixtures.quota);
        case Behaviour::kQuotaLegacy:
            return Reply(res, 429, FFixtures.quotaLegacy);
        case Behaviour::kError500:
            return Reply(res, 500, FFixtures.failedDocument);
        case Behaviour::kErrorCodeWord:
            return Reply(res, 500, FFixtures.codeWord);
        case Behaviour::kErrorNoMessage:
            return Reply(res, 500, FFixtures.noMessage);
        case Behaviour::kBadJson: {
            std::string body = render(kNormal);
            body.resize(body.size() / 2);
            return Reply(res, 200, std::move(body));
        }
        case Behaviour::kArray:
            return Reply(res, 200, "[]");
        case Behaviour::kEmpty:
            return Reply(res, 200, "");
        case Behaviour::kHang:
            WaitFor(FOptions.hangMs);
            return Drop(req, res);
        case Behaviour::kDrop:
            return Drop(req, res);
        case Behaviour::kSlow:
            if (!WaitFor(FOptions.slowMs)) return Drop(req, res);
            return Reply(res, 200, render(kNormal));
        case Behaviour::kTrickle:
            return Trickle(render(kNormal), res);
    }
}

void Simulator::Impl::CompressIfAsked(const httplib::Request& req, httplib::Response& res) {
    if (res.body.empty() || res.has_header("Content-Encoding")) return;
    if (AsciiLower(req.get_header_value("Accept-Encoding")).find("gzip") == std::string::npos)
        return;
    res.body = Gzip(res.body);
    res.set_header("Content-Encoding", "gzip");
}

// Sends the body in twenty chunks spread over trickleMs; Stop cuts it off.
void Simulator::Impl::Trickle(std::string text, httplib::Response& res) {
    constexpr size_t kChunks = 20;
    auto body = std::make_shared<const std::string>(std::move(text));
    const size_t chunk = (body->size() + kChunks - 1) / kChunks;
    const int pauseMs = std::max(0, FOptions.trickleMs) / static_cast<int>(kChunks);
    res.status = 200;
    res.set_content_provider(
        body->size(), kJsonType,
        [this, body, chunk, pauseMs](size_t offset, size_t length, httplib::DataSink& sink) {
            if (offset > 0 && !WaitFor(pauseMs)) return false;
            return sink.write(body->data() + offset, std::min(chunk, length));
        });
}

}  // namespace velmora::sim
