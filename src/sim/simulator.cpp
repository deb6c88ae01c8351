#include "sim/simulator.h"

#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include "base/site_paths.h"
#include "base/text.h"
#include "sim/answers.h"
#include "sim/faults.h"
#include "sim/fixtures.h"

namespace velmora::sim {

namespace {

// The demo's news: plain, short, and local like everything else the demo touches.
constexpr const char* kNewsPage =
    "<html><head><meta charset=\"utf-8\"><title>Velmora</title></head><body>"
    "<h3>Velmora demo</h3>"
    "<p>This news pane is served by the local PageSpeed simulator.</p>"
    "<ul><li>Answers come from recorded Lighthouse results, with a short think time.</li>"
    "<li>Some sample URLs fail on purpose, to show how failures look.</li></ul>"
    "</body></html>";

using Clock = std::chrono::steady_clock;

constexpr char kPath[] = "/pagespeedonline/v5/runPagespeed";
constexpr char kJsonType[] = "application/json; charset=UTF-8";

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

struct Query {
    std::string url;
    std::string strategy;  // lower case
    bool hasStrategy = false;
};

}  // namespace

struct Simulator::Impl {
    SimOptions opt;
    Fixtures fixtures;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int port = 0;
    std::string error;
    Clock::time_point started;

    // Wakes handlers that sleep (latency, hang, slow, trickle) when Stop begins.
    std::mutex stopMu;
    std::condition_variable stopCv;
    bool stopping = false;

    mutable std::mutex logMu;
    std::vector<RequestRecord> records;
    std::ofstream logFile;

    std::mutex quotaMu;
    std::deque<Clock::time_point> quotaWindow;
    int64_t dayCount = 0;
    std::string dailyQuota;  // the per-minute answer with the daily limit's wording

    std::mutex rngMu;
    std::mt19937 rng;

    // False when Stop interrupted the wait.
    bool WaitFor(int ms) {
        std::unique_lock lock(stopMu);
        return !stopCv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping; });
    }

    // The outcome of the quotas: empty when the request may pass.
    std::string TakeQuota() {
        std::lock_guard lock(quotaMu);
        if (opt.quotaPerDay > 0 && dayCount >= opt.quotaPerDay) return "quota-day";
        if (opt.quotaPerMinute <= 0) {
            ++dayCount;
            return {};
        }
        const auto now = Clock::now();
        while (!quotaWindow.empty() && now - quotaWindow.front() >= std::chrono::minutes(1)) {
            quotaWindow.pop_front();
        }
        if (quotaWindow.size() >= static_cast<size_t>(opt.quotaPerMinute)) return "quota-minute";
        quotaWindow.push_back(now);
        ++dayCount;
        return {};
    }

    // A random fault by the configured shares: "fail", "drop", "hang" or empty.
    std::string DrawFault() {
        if (opt.failRate <= 0 && opt.dropRate <= 0 && opt.hangRate <= 0) return {};
        double p = 0;
        {
            std::lock_guard lock(rngMu);
            p = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
        }
        if (p < opt.failRate) return "fail";
        if (p < opt.failRate + opt.dropRate) return "drop";
        if (p < opt.failRate + opt.dropRate + opt.hangRate) return "hang";
        return {};
    }

    int LatencyMs() {
        int lo = std::max(0, opt.latencyMinMs), hi = std::max(lo, opt.latencyMaxMs);
        if (hi == lo) return lo;
        std::lock_guard lock(rngMu);
        return std::uniform_int_distribution<int>(lo, hi)(rng);
    }

    void Record(RequestRecord r) {
        std::lock_guard lock(logMu);
        if (logFile.is_open()) {
            logFile << "{\"arrivalMs\":" << r.arrivalMs << ",\"strategy\":\""
                    << JsonEscape(r.strategy) << "\",\"url\":\"" << JsonEscape(r.url)
                    << "\",\"key\":\"" << JsonEscape(r.key) << "\",\"userAgent\":\""
                    << JsonEscape(r.userAgent) << "\",\"outcome\":\"" << r.outcome << "\"}\n"
                    << std::flush;
        }
        records.push_back(std::move(r));
    }

    static void Reply(httplib::Response& res, int status, std::string body) {
        res.status = status;
        res.body = std::move(body);
        res.set_header("Content-Type", kJsonType);
    }

    static void Drop(const httplib::Request& req, httplib::Response& res) {
        if (ShutdownOwnConnection(req.local_port, req.remote_port)) return;
        // Second best: httplib closes the connection when a provider fails, after the headers.
        res.set_content_provider(1, kJsonType,
                                 [](size_t, size_t, httplib::DataSink&) { return false; });
    }

    // One request, in steps: log it, refuse a malformed query, pace it, answer it.
    void Handle(const httplib::Request& req, httplib::Response& res);
    Query RecordRequest(const httplib::Request& req, Clock::time_point arrival,
                        std::string outcome);
    static bool RejectBadQuery(const Query& q, httplib::Response& res);
    // The quotas and the random faults; empty when the request is to be answered normally.
    std::string Decide();
    // False when the request got its answer here (a quota or a random fault).
    bool Misbehave(const std::string& outcome, const httplib::Request& req, httplib::Response& res);
    bool Pace(const httplib::Request& req, httplib::Response& res);
    void Answer(const Query& q, const httplib::Request& req, httplib::Response& res);
    void Trickle(std::string text, httplib::Response& res);

    // Start, in steps; each false one leaves error set.
    bool LoadAnswers();
    bool CheckPort();
    bool OpenLog();
    void ResetCounters();
    std::unique_ptr<httplib::Server> MakeServer(int* listenFd);
    bool Bind(httplib::Server& server);
    bool Launch(std::unique_ptr<httplib::Server> bound);
};

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
        std::chrono::duration_cast<std::chrono::milliseconds>(arrival - started).count();
    // The service reads the first of repeated parameters, and the key's name in any case.
    bool hasStrategy = false, hasUrl = false, hasKey = false;
    for (const auto& [name, value] : req.params) {
        if (name == "strategy" && !hasStrategy) {
            rec.strategy = value;
            hasStrategy = true;
        } else if (name == "url" && !hasUrl) {
            rec.url = value;
            hasUrl = true;
        } else if (AsciiLower(name) == "key" && !hasKey) {
            rec.key = value;
            hasKey = true;
        }
    }
    rec.userAgent = req.get_header_value("User-Agent");
    Query q{rec.url, AsciiLower(rec.strategy), hasStrategy};
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
    const std::string retryAfter = opt.retryAfterS >= 0 ? std::to_string(opt.retryAfterS) : "";
    if (outcome == "quota-minute" || outcome == "quota-day") {
        Reply(res, 429, outcome == "quota-day" ? dailyQuota : fixtures.quota);
        if (!retryAfter.empty()) res.set_header("Retry-After", retryAfter);
    } else if (outcome == "fail") {
        Reply(res, 500, ErrorBody(500, "Internal error encountered.", "backendError", "INTERNAL"));
        if (!retryAfter.empty()) res.set_header("Retry-After", retryAfter);
    } else if (outcome == "hang") {
        WaitFor(opt.hangMs);
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
        return fixtures.answers[c.version][c.field][variant][c.heavy][mobile].Render(escapedUrl);
    };
    switch (Classify(q.url)) {
        case Behaviour::kNormal:
            return Reply(res, 200, render(kNormal));
        case Behaviour::kNoScore:
            return Reply(res, 200, render(kNoScore));
        case Behaviour::kNoAudits:
            return Reply(res, 200, render(kNoAudits));
        case Behaviour::kPdf:
            return Reply(res, 200, fixtures.pdf.Render(escapedUrl));
        case Behaviour::kText:
            return Reply(res, 200, fixtures.text.Render(escapedUrl));
        case Behaviour::kNotHtml:
            return Reply(res, 400, fixtures.notHtml);
        case Behaviour::kQuota:
            return Reply(res, 429, fixtures.quota);
        case Behaviour::kQuotaLegacy:
            return Reply(res, 429, fixtures.quotaLegacy);
        case Behaviour::kError500:
            return Reply(res, 500, fixtures.failedDocument);
        case Behaviour::kErrorCodeWord:
            return Reply(res, 500, fixtures.codeWord);
        case Behaviour::kErrorNoMessage:
            return Reply(res, 500, fixtures.noMessage);
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
            WaitFor(opt.hangMs);
            return Drop(req, res);
        case Behaviour::kDrop:
            return Drop(req, res);
        case Behaviour::kSlow:
            if (!WaitFor(opt.slowMs)) return Drop(req, res);
            return Reply(res, 200, render(kNormal));
        case Behaviour::kTrickle:
            return Trickle(render(kNormal), res);
    }
}

// Sends the body in twenty chunks spread over trickleMs; Stop cuts it off.
void Simulator::Impl::Trickle(std::string text, httplib::Response& res) {
    constexpr size_t kChunks = 20;
    auto body = std::make_shared<const std::string>(std::move(text));
    const size_t chunk = (body->size() + kChunks - 1) / kChunks;
    const int pauseMs = std::max(0, opt.trickleMs) / static_cast<int>(kChunks);
    res.status = 200;
    res.set_content_provider(
        body->size(), kJsonType,
        [this, body, chunk, pauseMs](size_t offset, size_t length, httplib::DataSink& sink) {
            if (offset > 0 && !WaitFor(pauseMs)) return false;
            return sink.write(body->data() + offset, std::min(chunk, length));
        });
}

std::string SourceTreeAnswerDir() {
    return VELMORA_PSI_ANSWERS;
}

Simulator::Simulator(SimOptions options) : FImpl(std::make_unique<Impl>()) {
    FImpl->opt = std::move(options);
    FImpl->rng.seed(FImpl->opt.seed);
}

Simulator::~Simulator() {
    Stop();
}

bool Simulator::Start() {
    Impl& s = *FImpl;
    if (s.server) {
        s.error = "simulator already running";
        return false;
    }
    s.error.clear();
    if (!s.LoadAnswers() || !s.CheckPort() || !s.OpenLog()) return false;
    s.ResetCounters();
    int listenFd = -1;
    std::unique_ptr<httplib::Server> server = s.MakeServer(&listenFd);
    if (!s.Bind(*server)) return false;
    // httplib listens with a backlog of 5; twenty workers connecting at once would see SYNs
    // dropped and retried a second later. Listening again only raises the backlog.
    if (listenFd >= 0) ::listen(listenFd, SOMAXCONN);
    if (s.Launch(std::move(server))) return true;
    Stop();
    return false;
}

bool Simulator::Impl::LoadAnswers() {
    Fixtures loaded;
    if (!LoadFixtures(opt.fixtureDir, &loaded, &error)) return false;
    fixtures = std::move(loaded);
    dailyQuota = DailyQuotaAnswer(fixtures.quota);
    return true;
}

bool Simulator::Impl::CheckPort() {
    if (opt.port >= 0 && opt.port <= 65535) return true;
    error = "invalid port " + std::to_string(opt.port);
    return false;
}

bool Simulator::Impl::OpenLog() {
    std::lock_guard lock(logMu);
    records.clear();
    if (opt.requestLogPath.empty()) return true;
    logFile.open(opt.requestLogPath, std::ios::out | std::ios::trunc);
    if (logFile) return true;
    error = "cannot open request log " + opt.requestLogPath;
    return false;
}

void Simulator::Impl::ResetCounters() {
    {
        std::lock_guard lock(stopMu);
        stopping = false;
    }
    std::lock_guard lock(quotaMu);
    quotaWindow.clear();
    dayCount = 0;
}

std::unique_ptr<httplib::Server> Simulator::Impl::MakeServer(int* listenFd) {
    auto server = std::make_unique<httplib::Server>();
    // Hanging connections each hold a worker, and tests open twenty or more at once.
    server->new_task_queue = [] { return new httplib::ThreadPool(64); };
    // httplib's default adds SO_REUSEPORT, which would let a second simulator share the port.
    server->set_socket_options([listenFd](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        *listenFd = sock;
    });
    // One request per connection: an idle keep-alive connection would hold Stop for the whole
    // keep-alive timeout, and connecting on loopback costs next to nothing.
    server->set_keep_alive_max_count(1);
    server->set_read_timeout(5);
    server->set_write_timeout(5);
    server->Get(kPathNews, [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kNewsPage, "text/html; charset=utf-8");
    });
    server->Get(".*",
                [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); });
    // Requests httplib rejects itself (other methods, malformed lines) still get a JSON error.
    server->set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
            res.set_content(
                ErrorBody(res.status,
                          "Request rejected with HTTP status " + std::to_string(res.status),
                          res.status == 404 ? "notFound" : "badRequest",
                          res.status == 404 ? "NOT_FOUND" : "INVALID_ARGUMENT"),
                kJsonType);
        }
    });
    return server;
}

bool Simulator::Impl::Bind(httplib::Server& server) {
    if (opt.port == 0) {
        port = server.bind_to_any_port("127.0.0.1");
    } else {
        port = server.bind_to_port("127.0.0.1", opt.port) ? opt.port : -1;
    }
    if (port > 0) return true;
    error = "cannot listen on 127.0.0.1:" + std::to_string(opt.port);
    port = 0;
    std::lock_guard lock(logMu);
    logFile.close();
    return false;
}

bool Simulator::Impl::Launch(std::unique_ptr<httplib::Server> bound) {
    started = Clock::now();
    server = std::move(bound);
    httplib::Server* raw = server.get();
    thread = std::thread([raw] { raw->listen_after_bind(); });
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!raw->is_running() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (raw->is_running()) return true;
    error = "server did not start";
    return false;
}

void Simulator::Stop() {
    Impl& s = *FImpl;
    if (!s.server) return;
    {
        std::lock_guard lock(s.stopMu);
        s.stopping = true;
    }
    s.stopCv.notify_all();
    s.server->stop();
    if (s.thread.joinable()) s.thread.join();
    s.server.reset();
    std::lock_guard lock(s.logMu);
    s.logFile.close();
}

bool Simulator::Running() const {
    return FImpl->server && FImpl->server->is_running();
}

int Simulator::Port() const {
    return FImpl->port;
}

std::chrono::steady_clock::time_point Simulator::StartedAt() const {
    return FImpl->started;
}

std::string Simulator::Endpoint() const {
    return "http://127.0.0.1:" + std::to_string(FImpl->port);
}

std::string Simulator::Error() const {
    return FImpl->error;
}

std::vector<RequestRecord> Simulator::Requests() const {
    std::lock_guard lock(FImpl->logMu);
    return FImpl->records;
}

}  // namespace velmora::sim
