#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "http/curl.h"

namespace velmora::http {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

const TCurlGlobal gCurlGlobal;

// A loopback server with a few canned behaviours. Handlers that stall wait on Release(),
// which the destructor calls before stopping, so the server always joins promptly.
class TLocalServer {
  public:
    TLocalServer() {
        FServer.set_keep_alive_timeout(1);
        FServer.Get(R"(/body/(\w+))", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.matches[1].str(), "text/plain");
        });
        FServer.Get("/bad", [](const httplib::Request&, httplib::Response& res) {
            res.status = 400;
            res.set_content(R"({"error":{"code":400,"message":"Invalid value"}})",
                            "application/json");
        });
        FServer.Get("/busy", [](const httplib::Request&, httplib::Response& res) {
            res.status = 503;
            res.set_header("Retry-After", "7");
        });
        // Over the body cap, once with its length announced and once without.
        FServer.Get("/huge", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(kMaxBodyBytes + 1, 'x'), "text/plain");
        });
        FServer.Get("/huge-chunked", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider(
                "text/plain", [sent = std::int64_t{0}](size_t, httplib::DataSink& sink) mutable {
                    static const std::string block(1 << 20, 'x');
                    if (sent > kMaxBodyBytes) {
                        sink.done();
                        return true;
                    }
                    sent += static_cast<std::int64_t>(block.size());
                    return sink.write(block.data(), block.size());
                });
        });
        FServer.Get("/agent", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("User-Agent"), "text/plain");
        });
        // Never answers (within the test's lifetime).
        FServer.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
            WaitReleased(10s);
            res.set_content("late", "text/plain");
        });
        // Answers at once, then sends one byte every 50 ms.
        FServer.Get("/trickle", [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain", [this](size_t, httplib::DataSink& sink) {
                if (WaitReleased(50ms)) {
                    sink.done();
                    return true;
                }
                return sink.write("x", 1);
            });
        });
        FPort = FServer.bind_to_any_port("127.0.0.1");
        EXPECT_GT(FPort, 0);
        FThread = std::thread([this] { FServer.listen_after_bind(); });
        // stop() is a no-op until the loop runs; wait so that the destructor can always end it.
        while (!FServer.is_running()) std::this_thread::sleep_for(1ms);
    }

    ~TLocalServer() {
        Release();
        FServer.stop();
        FThread.join();
    }

    std::string Url(std::string_view path) const {
        return "http://127.0.0.1:" + std::to_string(FPort) + std::string(path);
    }

    void Release() {
        {
            const std::lock_guard lock(FMutex);
            FReleased = true;
        }
        FReleasedCv.notify_all();
    }

  private:
    bool WaitReleased(std::chrono::milliseconds limit) {
        std::unique_lock lock(FMutex);
        return FReleasedCv.wait_for(lock, limit, [this] { return FReleased; });
    }

    httplib::Server FServer;
    std::thread FThread;
    int FPort = 0;
    std::mutex FMutex;
    std::condition_variable FReleasedCv;
    bool FReleased = false;
};

// A loopback port that refuses connections: bound, never listening.
class TRefusingPort {
  public:
    TRefusingPort() : FSocket(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        EXPECT_EQ(::bind(FSocket, reinterpret_cast<sockaddr*>(&addr), len), 0);
        EXPECT_EQ(::getsockname(FSocket, reinterpret_cast<sockaddr*>(&addr), &len), 0);
        FPort = ntohs(addr.sin_port);
    }
    ~TRefusingPort() { ::close(FSocket); }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(FPort) + "/"; }

  private:
    int FSocket;
    int FPort = 0;
};

// Answers every request over kept connections, except the second of all, whose connection it
// closes unanswered after reading it: what a server does that drops a reused connection.
class TDroppingServer {
  public:
    TDroppingServer() : FListen(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        EXPECT_EQ(::bind(FListen, reinterpret_cast<sockaddr*>(&addr), len), 0);
        EXPECT_EQ(::listen(FListen, 8), 0);
        EXPECT_EQ(::getsockname(FListen, reinterpret_cast<sockaddr*>(&addr), &len), 0);
        FPort = ntohs(addr.sin_port);
        FThread = std::thread([this] { Serve(); });
    }
    ~TDroppingServer() {
        ::shutdown(FListen, SHUT_RDWR);
        FThread.join();
        ::close(FListen);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(FPort) + "/"; }
    int Requests() const { return FRequests.load(); }

  private:
    void Serve() {
        for (;;) {
            const int fd = ::accept(FListen, nullptr, nullptr);
            if (fd < 0) return;
            std::string pending;
            char buffer[4096];
            for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
                pending.append(buffer, static_cast<size_t>(got));
                size_t end;
                bool dropped = false;
                while ((end = pending.find("\r\n\r\n")) != std::string::npos) {
                    pending.erase(0, end + 4);
                    if (++FRequests == 2) {
                        dropped = true;
                        break;
                    }
                    const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
                    EXPECT_GT(::write(fd, answer, sizeof answer - 1), 0);
                }
                if (dropped) break;
            }
            ::shutdown(fd, SHUT_RDWR);
            ::close(fd);
        }
    }

    int FListen;
    int FPort = 0;
    std::atomic<int> FRequests{0};
    std::thread FThread;
};

class EasyCurl : public ::testing::Test {
  protected:
    ICurl& Get(ICurl& client, const std::string& url) {
        return client.SetUrl(*NewGetBuilder(url)).Perform();
    }

    TLocalServer FServer;  // declared first: outlives every client of a test
};

TEST_F(EasyCurl, SecondTransferReplacesFirstBody) {
    auto client = NewCurlClient();
    client->SwitchRecvToString();
    EXPECT_EQ(Get(*client, FServer.Url("/body/AAAAAAAAAA")).ResponseBody(), "AAAAAAAAAA");
    EXPECT_EQ(Get(*client, FServer.Url("/body/bb")).ResponseBody(), "bb");
}

TEST_F(EasyCurl, ResponseBodyNeedsStringReceiverAndStartsEmpty) {
    auto client = NewCurlClient();
    try {
        client->ResponseBody();
        FAIL() << "ResponseBody without a string receiver must throw";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Cannot get response body, use SwitchRecvToString beforehand");
    }
    // A body that arrives without a receiver is dropped, not written to stdout.
    Get(*client, FServer.Url("/body/dropped"));
    EXPECT_EQ(client->SwitchRecvToString().ResponseBody(), "");
    Get(*client, FServer.Url("/body/kept"));
    EXPECT_EQ(client->SwitchRecvToString().ResponseBody(), "") << "a new receiver starts empty";
}

TEST_F(EasyCurl, HttpErrorStatusIsNoFailure) {
    auto client = NewCurlClient();
    client->SwitchRecvToString();
    ASSERT_NO_THROW(Get(*client, FServer.Url("/bad")));
    EXPECT_EQ(client->ResponseBody(), R"({"error":{"code":400,"message":"Invalid value"}})");
}

TEST_F(EasyCurl, StatusAndHeadersOfTheLastAnswerAreKept) {
    auto client = NewCurlClient();
    client->SwitchRecvToString();
    EXPECT_EQ(client->ResponseCode(), 0);
    Get(*client, FServer.Url("/busy"));
    EXPECT_EQ(client->ResponseCode(), 503);
    EXPECT_EQ(client->ResponseHeader("retry-after"), "7");
    EXPECT_EQ(client->ResponseBody(), "");
    Get(*client, FServer.Url("/body/ok"));
    EXPECT_EQ(client->ResponseCode(), 200);
    EXPECT_EQ(client->ResponseHeader("Retry-After"), "") << "headers of the answer before";
}

TEST_F(EasyCurl, ConnectFailureNamesWhereItFailed) {
    TRefusingPort refusing;
    auto client = NewCurlClient();
    try {
        Get(*client, refusing.Url());
        FAIL() << "Perform must throw";
    } catch (const ECurlError& e) {
        EXPECT_NE(std::string(e.what()).find("127.0.0.1"), std::string::npos) << e.what();
    }
}

TEST_F(EasyCurl, BodyOverTheCapEndsAsAFailureWithAClearText) {
    for (const char* path : {"/huge", "/huge-chunked"}) {
        SCOPED_TRACE(path);
        auto client = NewCurlClient();
        client->SwitchRecvToString();
        try {
            Get(*client, FServer.Url(path));
            ADD_FAILURE() << "Perform must throw";
        } catch (const ECurlError& e) {
            EXPECT_EQ(e.Code, kBodyTooLargeCode);
            EXPECT_STREQ(e.what(), "answer larger than 32 MB");
        }
        EXPECT_LE(static_cast<std::int64_t>(client->ResponseBody().size()), kMaxBodyBytes);
    }
}

TEST_F(EasyCurl, UserAgentReachesServer) {
    auto client = NewCurlClient();
    client->SetUserAgent("Velmora/1.0 (test; \xD1\x82\xD0\xB5\xD1\x81\xD1\x82)")
        .SwitchRecvToString();
    EXPECT_EQ(Get(*client, FServer.Url("/agent")).ResponseBody(),
              "Velmora/1.0 (test; \xD1\x82\xD0\xB5\xD1\x81\xD1\x82)");
}

TEST_F(EasyCurl, FailedTransferRaisesLibcurlErrorAndClientStaysUsable) {
    TRefusingPort refusing;
    struct TCase {
        const char* what;
        std::string url;
        CURLcode code;
    };
    const TCase cases[] = {
        {"connection refused", refusing.Url(), CURLE_COULDNT_CONNECT},
        {"server never answers", FServer.Url("/stall"), CURLE_OPERATION_TIMEDOUT},
        {"malformed URL", "http://[::1/", CURLE_URL_MALFORMAT},
        {"local file", "file:///etc/hostname", CURLE_UNSUPPORTED_PROTOCOL},
        {"DICT to a local port", "dict://127.0.0.1:" + refusing.Url().substr(17),
         CURLE_UNSUPPORTED_PROTOCOL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto client = NewCurlClient();
        client->SetTimeouts(2000, 300).SwitchRecvToString();
        const auto start = TClock::now();
        try {
            Get(*client, c.url);
            ADD_FAILURE() << "Perform must throw";
        } catch (const ECurlError& e) {
            EXPECT_EQ(e.Code, c.code);
            // libcurl's own detail follows its generic text and names the cause.
            EXPECT_EQ(std::string(e.what()).rfind(curl_easy_strerror(c.code), 0), 0u) << e.what();
        }
        EXPECT_LT(TClock::now() - start, 5s);
        EXPECT_EQ(Get(*client, FServer.Url("/body/again")).ResponseBody(), "again");
    }
}

// A woken transfer sees its predicate at once; one nobody wakes still sees it within its poll.
TEST_F(EasyCurl, AbortPredicateEndsTransferPromptly) {
    struct TCase {
        const char* path;
        bool wake;
        std::chrono::milliseconds within;
    };
    for (const TCase& c : {TCase{"/stall", true, 250ms}, TCase{"/trickle", true, 250ms},
                           TCase{"/stall", false, 1500ms}}) {
        SCOPED_TRACE(std::string(c.path) + (c.wake ? " woken" : " polled"));
        auto client = NewCurlClient();
        std::atomic<bool> abort{false};
        client->SwitchRecvToString().SetAbortPredicate([&] { return abort.load(); });
        TClock::time_point abortedAt{};
        std::thread aborter([&] {
            std::this_thread::sleep_for(300ms);
            abortedAt = TClock::now();
            abort = true;
            if (c.wake) WakeTransfers();
        });
        try {
            Get(*client, FServer.Url(c.path));
            ADD_FAILURE() << "Perform must throw";
        } catch (const ECurlError& e) {
            EXPECT_EQ(e.Code, CURLE_ABORTED_BY_CALLBACK);
            EXPECT_STREQ(e.what(), curl_easy_strerror(CURLE_ABORTED_BY_CALLBACK));
        }
        aborter.join();
        EXPECT_LT(TClock::now() - abortedAt, c.within);

        client->SetAbortPredicate([] { return false; });
        EXPECT_EQ(Get(*client, FServer.Url("/body/after")).ResponseBody(), "after");
    }
}

TEST_F(EasyCurl, ThrowingAbortPredicateReachesCaller) {
    auto client = NewCurlClient();
    client->SwitchRecvToString().SetAbortPredicate(
        []() -> bool { throw std::logic_error("predicate failed"); });
    EXPECT_THROW(Get(*client, FServer.Url("/body/x")), std::logic_error);
    client->SetAbortPredicate({});
    EXPECT_EQ(Get(*client, FServer.Url("/body/x")).ResponseBody(), "x");
}

// Callers compare ECurlError::Code with these names without libcurl's header.
static_assert(kCouldNotResolveHostCode == CURLE_COULDNT_RESOLVE_HOST);
static_assert(kCouldNotConnectCode == CURLE_COULDNT_CONNECT);
static_assert(kPartialFileCode == CURLE_PARTIAL_FILE);
static_assert(kHttpReturnedErrorCode == CURLE_HTTP_RETURNED_ERROR);
static_assert(kTimedOutCode == CURLE_OPERATION_TIMEDOUT);
static_assert(kAbortedCode == CURLE_ABORTED_BY_CALLBACK);
static_assert(kGotNothingCode == CURLE_GOT_NOTHING);
static_assert(kSendErrorCode == CURLE_SEND_ERROR);
static_assert(kRecvErrorCode == CURLE_RECV_ERROR);
static_assert(kBodyTooLargeCode == CURLE_FILESIZE_EXCEEDED);

// libcurl sends a request again by itself when a reused connection dies before any answer;
// with SendEachRequestOnce the server sees it once and the caller gets the failure instead.
TEST(EasyCurlResend, ADroppedReusedConnectionIsNotSentToAgain) {
    for (const bool once : {true, false}) {
        SCOPED_TRACE(once ? "sent once" : "libcurl's default");
        TDroppingServer server;
        auto client = NewCurlClient();
        client->SwitchRecvToString();
        if (once) client->SendEachRequestOnce();
        const auto builder = NewGetBuilder(server.Url());
        client->SetUrl(*builder).Perform();
        EXPECT_EQ(client->ResponseBody(), "ok");
        int code = 0;
        try {
            client->Perform();
        } catch (const ECurlError& e) {
            code = e.Code;
        }
        EXPECT_EQ(code, once ? kGotNothingCode : 0);
        EXPECT_EQ(server.Requests(), once ? 2 : 3);
        // The connection after a refused re-send is a fresh one that works.
        client->Perform();
        EXPECT_EQ(client->ResponseBody(), "ok");
    }
}

TEST(EasyCurlSettings, RejectsWhatLibcurlCannotTake) {
    struct TCase {
        const char* what;
        std::function<void(ICurl&)> call;
        CURLcode code;
    };
    const TCase cases[] = {
        {"pointer option given a number", [](ICurl& c) { c.SetOpt(CURLOPT_URL, 0); },
         CURLE_BAD_FUNCTION_ARGUMENT},
        {"unknown option", [](ICurl& c) { c.SetOpt(9999, 1); }, CURLE_UNKNOWN_OPTION},
        {"negative time-out", [](ICurl& c) { c.SetTimeouts(-1, 1000); },
         CURLE_BAD_FUNCTION_ARGUMENT},
        {"header line break in user agent", [](ICurl& c) { c.SetUserAgent("a\r\nX-Evil: 1"); },
         CURLE_BAD_FUNCTION_ARGUMENT},
        {"NUL in URL",
         [](ICurl& c) { c.SetUrl(*NewGetBuilder(std::string_view("http://a\0b", 10))); },
         CURLE_URL_MALFORMAT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto client = NewCurlClient();
        try {
            c.call(*client);
            ADD_FAILURE() << "must throw";
        } catch (const ECurlError& e) {
            EXPECT_EQ(e.Code, c.code);
            // libcurl's own detail follows its generic text and names the cause.
            EXPECT_EQ(std::string(e.what()).rfind(curl_easy_strerror(c.code), 0), 0u) << e.what();
        }
    }
    EXPECT_NO_THROW(NewCurlClient()->SetOpt(CURLOPT_SSL_VERIFYPEER, 0));
}

}  // namespace
}  // namespace velmora::http
