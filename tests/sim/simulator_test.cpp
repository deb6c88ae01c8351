#include "sim/simulator.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <simdjson.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace velmora::sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kPath[] = "/pagespeedonline/v5/runPagespeed";

std::string Encode(std::string_view s) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

std::string Query(std::string_view url, std::string_view strategy = "desktop") {
    return std::string(kPath) + "?strategy=" + Encode(strategy) +
           "&category=PERFORMANCE&url=" + Encode(url);
}

int64_t MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Parses into a document that outlives the call.
struct Json {
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    bool Parse(const std::string& body) {
        return parser.parse(body).get(root) == simdjson::SUCCESS;
    }
    std::string Str(std::string_view pointer) {
        std::string_view v;
        return root.at_pointer(pointer).get(v) == simdjson::SUCCESS ? std::string(v) : "<missing>";
    }
};

class SimulatorTest : public ::testing::Test {
  protected:
    void Launch(SimOptions opt = {}) {
        sim_ = std::make_unique<Simulator>(std::move(opt));
        ASSERT_TRUE(sim_->Start()) << sim_->Error();
    }
    std::unique_ptr<httplib::Client> Client(int readTimeoutSec = 10) {
        auto cli = std::make_unique<httplib::Client>("127.0.0.1", sim_->Port());
        cli->set_read_timeout(readTimeoutSec, 0);
        cli->set_connection_timeout(5, 0);
        return cli;
    }
    std::unique_ptr<Simulator> sim_;
};

TEST_F(SimulatorTest, UrlMarkersChooseTheAnswer) {
    enum class Body { kAnswer, kScoreNull, kNoAudits, kError, kInvalidJson, kArray, kEmpty, kNone };
    struct Case {
        const char* url;
        int status;  // 0 = the client gets no answer at all
        Body body;
        const char* detail;  // answer: score text; error: a piece of error.message
    };
    const Case cases[] = {
        {"https://example.com/", 200, Body::kAnswer, "1"},
        {"https://example.com/heavy", 200, Body::kAnswer, "0.38"},
        {"https://example.com/heavy/sim-lh12", 200, Body::kAnswer, "0.79"},
        {"http://x/sim-notHTML", 400, Body::kError, "Lighthouse returned error: NOT_HTML"},
        {"http://x/SIM-NOTHTML", 400, Body::kError, "Lighthouse returned error: NOT_HTML"},
        {"http://x/sim-quota", 429, Body::kError, "Quota exceeded for quota metric"},
        {"http://x/sim-quota-legacy", 429, Body::kError, "Quota exceeded for quota group"},
        {"http://x/sim-error500", 500, Body::kError, "FAILED_DOCUMENT_REQUEST"},
        {"http://x/sim-error-codeword", 500, Body::kError, "Something went wrong"},
        {"http://x/sim-error-nomessage", 500, Body::kError, ""},
        {"http://x/sim-badjson", 200, Body::kInvalidJson, nullptr},
        {"http://x/sim-array", 200, Body::kArray, nullptr},
        {"http://x/sim-empty", 200, Body::kEmpty, nullptr},
        {"http://x/sim-noscore", 200, Body::kScoreNull, nullptr},
        {"http://x/sim-noaudits", 200, Body::kNoAudits, nullptr},
        {"http://x/sim-pdf", 200, Body::kScoreNull, nullptr},
        {"http://x/sim-text", 200, Body::kScoreNull, nullptr},
        {"http://x/sim-trickle", 200, Body::kAnswer, "1"},
        {"http://x/heavy/sim-slow", 200, Body::kAnswer, "0.38"},
        {"http://x/sim-drop", 0, Body::kNone, nullptr},
        {"http://x/sim-hang", 0, Body::kNone, nullptr},
    };
    SimOptions opt;
    opt.hangMs = 300;
    opt.trickleMs = 200;
    opt.slowMs = 100;
    Launch(opt);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        auto res = Client()->Get(Query(c.url));
        if (c.status == 0) {
            EXPECT_FALSE(res) << "got HTTP " << res->status;
            continue;
        }
        ASSERT_TRUE(res) << httplib::to_string(res.error());
        EXPECT_EQ(res->status, c.status);
        EXPECT_EQ(res->get_header_value("Content-Type"), "application/json; charset=UTF-8");
        Json j;
        switch (c.body) {
            case Body::kAnswer: {
                ASSERT_TRUE(j.Parse(res->body));
                EXPECT_EQ(j.Str("/id"), c.url);
                double score = -1;
                EXPECT_EQ(
                    j.root.at_pointer("/lighthouseResult/categories/performance/score").get(score),
                    simdjson::SUCCESS);
                EXPECT_DOUBLE_EQ(score, std::stod(c.detail));
                break;
            }
            case Body::kScoreNull:
                ASSERT_TRUE(j.Parse(res->body));
                EXPECT_EQ(j.Str("/id"), c.url);
                EXPECT_TRUE(
                    j.root.at_pointer("/lighthouseResult/categories/performance/score").is_null());
                break;
            case Body::kNoAudits:
                ASSERT_TRUE(j.Parse(res->body));
                EXPECT_EQ(j.root.at_pointer("/lighthouseResult/audits").error(),
                          simdjson::NO_SUCH_FIELD);
                EXPECT_EQ(j.root.at_pointer("/lighthouseResult/categories/performance").error(),
                          simdjson::SUCCESS);
                break;
            case Body::kError: {
                ASSERT_TRUE(j.Parse(res->body));
                ASSERT_TRUE(j.root["error"].is_object());
                std::string_view message;
                if (*c.detail) {
                    ASSERT_EQ(j.root["error"]["message"].get(message), simdjson::SUCCESS);
                    EXPECT_NE(message.find(c.detail), std::string_view::npos) << message;
                } else {
                    EXPECT_EQ(j.root["error"]["message"].error(), simdjson::NO_SUCH_FIELD);
                }
                break;
            }
            case Body::kInvalidJson:
                EXPECT_GT(res->body.size(), 1000u);
                EXPECT_FALSE(j.Parse(res->body));
                break;
            case Body::kArray:
                EXPECT_EQ(res->body, "[]");
                break;
            case Body::kEmpty:
                EXPECT_EQ(res->body, "");
                EXPECT_EQ(res->get_header_value("Content-Length"), "0");
                break;
            case Body::kNone:
                break;
        }
    }
}

TEST_F(SimulatorTest, StrategyPageAndVersionChooseTheRecordedAnswer) {
    enum class Field { kNone, kPage, kOrigin };
    struct Case {
        const char* strategy;
        const char* url;
        const char* formFactor;
        double score;
        const char* lighthouse;
        Field field;
    };
    const Case cases[] = {
        {"desktop", "https://a.example/", "desktop", 1, "13.5.0", Field::kNone},
        {"mobile", "https://a.example/", "mobile", 0.98, "13.5.0", Field::kNone},
        {"desktop", "https://a.example/heavy", "desktop", 0.38, "13.5.0", Field::kPage},
        {"mobile", "https://a.example/heavy", "mobile", 0.27, "13.5.0", Field::kPage},
        {"MOBILE", "https://a.example/Heavy", "mobile", 0.27, "13.5.0", Field::kPage},
        {"mobile", "https://a.example/heavy/sim-noField", "mobile", 0.27, "13.5.0", Field::kNone},
        {"desktop", "https://a.example/sim-originfield", "desktop", 1, "13.5.0", Field::kOrigin},
        {"desktop", "https://a.example/sim-lh12", "desktop", 1, "12.2.3", Field::kNone},
        {"desktop", "https://a.example/heavy/SIM-LH12", "desktop", 0.79, "12.2.3", Field::kNone},
        {"mobile", "https://a.example/heavy/sim-lh12", "mobile", 0.59, "12.2.3", Field::kNone},
    };
    Launch();
    auto cli = Client();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.strategy) + " " + c.url);
        auto res = cli->Get(Query(c.url, c.strategy));
        ASSERT_TRUE(res);
        ASSERT_EQ(res->status, 200);
        Json j;
        ASSERT_TRUE(j.Parse(res->body));
        EXPECT_EQ(j.Str("/lighthouseResult/configSettings/formFactor"), c.formFactor);
        EXPECT_EQ(j.Str("/lighthouseResult/lighthouseVersion"), c.lighthouse);
        double score = -1;
        ASSERT_EQ(j.root.at_pointer("/lighthouseResult/categories/performance/score").get(score),
                  simdjson::SUCCESS);
        EXPECT_DOUBLE_EQ(score, c.score);
        // The field data keeps echoing the requested URL wherever the answer names it.
        EXPECT_EQ(j.Str("/loadingExperience/initial_url"), c.url);
        const bool hasMetrics = !j.root.at_pointer("/loadingExperience/metrics").error();
        bool fallback = false;
        if (j.root.at_pointer("/loadingExperience/origin_fallback").get(fallback)) fallback = false;
        EXPECT_EQ(hasMetrics, c.field != Field::kNone);
        EXPECT_EQ(fallback, c.field == Field::kOrigin);
        if (c.field == Field::kPage) {
            EXPECT_EQ(j.Str("/loadingExperience/id"), c.url);
        }
        if (c.field != Field::kNone) {
            EXPECT_EQ(j.Str("/originLoadingExperience/initial_url"), c.url);
        }
    }
    // No strategy at all: the service's default, desktop.
    auto res = cli->Get(std::string(kPath) + "?url=https%3A%2F%2Fa.example%2F");
    ASSERT_TRUE(res);
    Json j;
    ASSERT_TRUE(j.Parse(res->body));
    EXPECT_EQ(j.Str("/lighthouseResult/configSettings/formFactor"), "desktop");
}

TEST_F(SimulatorTest, AwkwardUrlArrivesDecodedAndIsEchoedEscaped) {
    const std::string url = "https://пример.рф/a b?x=1&y=\"<q>\"&z=\\é#frag";
    Launch();
    auto res = Client()->Get(Query(url, "mobile"));
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200);
    Json j;
    ASSERT_TRUE(j.Parse(res->body)) << res->body.substr(0, 400);
    for (const char* pointer :
         {"/id", "/loadingExperience/initial_url", "/lighthouseResult/requestedUrl",
          "/lighthouseResult/mainDocumentUrl", "/lighthouseResult/finalDisplayedUrl",
          "/lighthouseResult/finalUrl"}) {
        EXPECT_EQ(j.Str(pointer), url) << pointer;
    }
    // The service's escapes, not raw characters.
    EXPECT_NE(
        res->body.find(R"("id": "https://пример.рф/a b?x\u003d1\u0026y\u003d\"\u003cq\u003e\")"),
        std::string::npos);
    const auto seen = sim_->Requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].url, url);
    EXPECT_EQ(seen[0].strategy, "mobile");
}

TEST_F(SimulatorTest, BadRequestsGetJsonErrors) {
    struct Case {
        std::string path;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"/pagespeedonline/v4/runPagespeed?url=x", 404, "Not Found"},
        {"/", 404, "Not Found"},
        {std::string(kPath) + "?strategy=desktop", 400, "Required parameter: url"},
        {std::string(kPath) + "?strategy=desktop&url=", 400, "Required parameter: url"},
        {std::string(kPath) + "?strategy=tablet&url=x", 400, "Invalid value at 'strategy'"},
    };
    Launch();
    auto cli = Client();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        auto res = cli->Get(c.path);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, c.status);
        Json j;
        ASSERT_TRUE(j.Parse(res->body)) << res->body;
        int64_t code = 0;
        EXPECT_EQ(j.root["error"]["code"].get(code), simdjson::SUCCESS);
        EXPECT_EQ(code, c.status);
        EXPECT_NE(j.Str("/error/message").find(c.message), std::string::npos)
            << j.Str("/error/message");
    }
    auto post = cli->Post(Query("https://a.example/"), "", "text/plain");
    ASSERT_TRUE(post);
    EXPECT_EQ(post->status, 404);
    Json j;
    EXPECT_TRUE(j.Parse(post->body) && j.root["error"].is_object()) << post->body;
}

TEST_F(SimulatorTest, RequestLogRecordsKeyAndUserAgent) {
    const auto logPath = std::filesystem::path(::testing::TempDir()) / "psi_sim_requests.jsonl";
    SimOptions opt;
    opt.requestLogPath = logPath.string();
    Launch(opt);
    auto cli = Client();
    cli->set_default_headers({{"User-Agent", "Mozilla/5.0 (Windows NT 10.0; rv:53.0) \"x\""}});
    ASSERT_TRUE(cli->Get(Query("https://a.example/1") + "&KEY=upper%26key"));
    ASSERT_TRUE(cli->Get(Query("https://a.example/2", "mobile") + "&key=lower"));
    ASSERT_TRUE(cli->Get(Query("https://a.example/3")));

    const auto seen = sim_->Requests();
    ASSERT_EQ(seen.size(), 3u);
    const char* keys[] = {"upper&key", "lower", ""};
    const char* strategies[] = {"desktop", "mobile", "desktop"};
    std::ifstream in(logPath);
    std::string line;
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(seen[i].url, "https://a.example/" + std::to_string(i + 1));
        EXPECT_EQ(seen[i].key, keys[i]);
        EXPECT_EQ(seen[i].strategy, strategies[i]);
        EXPECT_EQ(seen[i].userAgent, "Mozilla/5.0 (Windows NT 10.0; rv:53.0) \"x\"");
        EXPECT_GE(seen[i].arrivalMs, i ? seen[i - 1].arrivalMs : 0);

        // The file is flushed per line, so it is complete while the simulator still runs.
        ASSERT_TRUE(std::getline(in, line));
        Json j;
        ASSERT_TRUE(j.Parse(line)) << line;
        EXPECT_EQ(j.Str("/url"), seen[i].url);
        EXPECT_EQ(j.Str("/key"), seen[i].key);
        EXPECT_EQ(j.Str("/strategy"), seen[i].strategy);
        EXPECT_EQ(j.Str("/userAgent"), seen[i].userAgent);
        int64_t arrival = -1;
        EXPECT_EQ(j.root["arrivalMs"].get(arrival), simdjson::SUCCESS);
        EXPECT_EQ(arrival, seen[i].arrivalMs);
    }
    EXPECT_FALSE(std::getline(in, line));
}

// As the service does: gzip only for a client that names it, and a connection kept for the
// next request, which the log shows by the client's port.
TEST_F(SimulatorTest, AnswersGzippedWhenAskedOverAKeptConnection) {
    SimOptions opt;
    opt.requestsPerConnection = 10;
    Launch(opt);
    auto cli = Client();
    cli->set_keep_alive(true);
    cli->set_decompress(false);  // the bytes as they travelled
    auto packed = cli->Get(Query("https://a.example/1"), {{"Accept-Encoding", "deflate, gzip"}});
    auto plain = cli->Get(Query("https://a.example/1"), {{"Accept-Encoding", "identity"}});
    ASSERT_TRUE(packed && plain);
    EXPECT_EQ(packed->get_header_value("Content-Encoding"), "gzip");
    ASSERT_GE(packed->body.size(), 2u);
    EXPECT_EQ(packed->body.substr(0, 2), "\x1f\x8b");
    EXPECT_LT(packed->body.size() * 3, plain->body.size());
    EXPECT_FALSE(plain->has_header("Content-Encoding"));
    Json j;
    EXPECT_TRUE(j.Parse(plain->body));

    const auto seen = sim_->Requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].acceptEncoding, "deflate, gzip");
    EXPECT_EQ(seen[1].acceptEncoding, "identity");
    EXPECT_GT(seen[0].clientPort, 0);
    EXPECT_EQ(seen[0].clientPort, seen[1].clientPort);
}

TEST_F(SimulatorTest, QuotaPerMinuteAnswers429OnceUsedUp) {
    SimOptions opt;
    opt.quotaPerMinute = 3;
    Launch(opt);
    auto cli = Client();
    for (int i = 0; i < 5; ++i) {
        auto res = cli->Get(Query("https://a.example/" + std::to_string(i)));
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, i < 3 ? 200 : 429) << "request " << i;
        if (i >= 3) {
            Json j;
            ASSERT_TRUE(j.Parse(res->body));
            EXPECT_EQ(j.Str("/error/status"), "RESOURCE_EXHAUSTED");
        }
    }
    EXPECT_EQ(sim_->Requests().size(), 5u);
}

TEST_F(SimulatorTest, DailyQuotaAndRandomFaultsAnswerAsTheServiceAndAreLogged) {
    struct TCase {
        const char* what;
        SimOptions opt;
        int okFirst;  // requests answered normally before the fault shows
        int status;   // then; 0 = no answer at all
        const char* outcome;
        const char* wording;
    };
    auto opts = [](int day, double fail, double drop) {
        SimOptions o;
        o.quotaPerDay = day;
        o.failRate = fail;
        o.dropRate = drop;
        o.retryAfterS = 7;
        return o;
    };
    const TCase cases[] = {
        {"daily quota", opts(2, 0, 0), 2, 429, "quota-day", "Queries per day"},
        {"random 500s", opts(0, 1.0, 0), 0, 500, "fail", "Internal error encountered."},
        {"drops", opts(0, 0, 1.0), 0, 0, "drop", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Launch(c.opt);
        auto cli = Client();
        for (int i = 0; i < c.okFirst + 2; ++i) {
            auto res = cli->Get(Query("https://a.example/" + std::to_string(i)));
            if (i < c.okFirst) {
                ASSERT_TRUE(res);
                EXPECT_EQ(res->status, 200);
                continue;
            }
            if (c.status == 0) {
                EXPECT_FALSE(res && res->status == 200);
                continue;
            }
            ASSERT_TRUE(res);
            EXPECT_EQ(res->status, c.status);
            EXPECT_EQ(res->get_header_value("Retry-After"), "7");
            Json j;
            ASSERT_TRUE(j.Parse(res->body));
            EXPECT_NE(j.Str("/error/message").find(c.wording), std::string::npos);
        }
        const auto seen = sim_->Requests();
        ASSERT_EQ(seen.size(), static_cast<size_t>(c.okFirst + 2));
        EXPECT_EQ(seen.front().outcome, c.okFirst > 0 ? "answer" : c.outcome);
        EXPECT_EQ(seen.back().outcome, c.outcome);
        sim_.reset();
    }
}

TEST_F(SimulatorTest, LatencyDelaysTheAnswer) {
    SimOptions opt;
    opt.latencyMinMs = opt.latencyMaxMs = 150;
    Launch(opt);
    const auto t0 = Clock::now();
    auto res = Client()->Get(Query("https://a.example/"));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_GE(MsSince(t0), 140);
}

TEST_F(SimulatorTest, StopReturnsPromptlyWhileManyRequestsHang) {
    constexpr int kClients = 24;
    SimOptions opt;  // default hang: minutes
    opt.latencyMinMs = 0;
    Launch(opt);
    std::atomic<int> answered{0}, failed{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i] {
            httplib::Client cli("127.0.0.1", sim_->Port());
            cli.set_read_timeout(120, 0);
            auto res = cli.Get(Query("https://a.example/sim-hang/" + std::to_string(i)));
            (res ? answered : failed)++;
        });
    }
    // Every request has reached its handler before Stop.
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (sim_->Requests().size() < kClients && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(sim_->Requests().size(), static_cast<size_t>(kClients));
    // Idle keep-alive connections must not hold Stop up either.
    auto idle = Client();
    ASSERT_TRUE(idle->Get(Query("https://a.example/")));

    const auto t0 = Clock::now();
    sim_->Stop();
    EXPECT_LT(MsSince(t0), 3000);
    for (auto& t : clients) t.join();
    EXPECT_EQ(answered, 0);
    EXPECT_EQ(failed, kClients);
    EXPECT_FALSE(sim_->Running());
    sim_->Stop();  // again: no effect
}

TEST(SimulatorStart, FailsClearly) {
    const auto missing = std::filesystem::path(::testing::TempDir()) / "no_such_fixture_dir";
    {
        SimOptions opt;
        opt.fixtureDir = missing.string();
        Simulator sim(opt);
        EXPECT_FALSE(sim.Start());
        EXPECT_NE(sim.Error().find(missing.string()), std::string::npos) << sim.Error();
    }
    {
        SimOptions opt;
        opt.requestLogPath = (missing / "log.jsonl").string();
        Simulator sim(opt);
        EXPECT_FALSE(sim.Start());
        EXPECT_NE(sim.Error().find("request log"), std::string::npos) << sim.Error();
    }
    Simulator first;
    ASSERT_TRUE(first.Start()) << first.Error();
    EXPECT_FALSE(first.Start());
    SimOptions opt;
    opt.port = first.Port();
    Simulator second(opt);
    EXPECT_FALSE(second.Start());
    EXPECT_NE(second.Error().find(std::to_string(first.Port())), std::string::npos)
        << second.Error();
    EXPECT_EQ(first.Endpoint(), "http://127.0.0.1:" + std::to_string(first.Port()));
}

TEST(SimulatorStart, RestartsAfterStop) {
    Simulator sim;
    ASSERT_TRUE(sim.Start()) << sim.Error();
    sim.Stop();
    ASSERT_TRUE(sim.Start()) << sim.Error();
    httplib::Client cli("127.0.0.1", sim.Port());
    auto res = cli.Get(Query("https://a.example/"));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(sim.Requests().size(), 1u);
}

}  // namespace
}  // namespace velmora::sim
