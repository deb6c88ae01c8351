// What worker and pool tests stand on instead of the service: recorded answers, a clock that
// moves only when slept on, and an HTTP client that answers from a script.
#pragma once

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/pool.h"
#include "http/curl.h"

namespace velmora::testing_support {

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A recorded good answer for the strategy.
inline const std::string& FastAnswer(bool desktop) {
    static const std::string d = ReadFile(VELMORA_PSI_ANSWERS "/psi_fast_desktop.json");
    static const std::string m = ReadFile(VELMORA_PSI_ANSWERS "/psi_fast_mobile.json");
    return desktop ? d : m;
}

inline std::string ErrorFixture(const char* name) {
    return ReadFile(std::string(VELMORA_PSI_ANSWERS "/errors/") + name);
}

inline bool IsDesktopRequest(const std::string& url) {
    return url.find("strategy=desktop") != std::string::npos;
}

// Time moves only when somebody sleeps on it, by as much as they sleep: pacing and minutes of
// backoff pass without real waiting.
class TManualClock : public IPacingClock {
  public:
    TTimePoint Now() override {
        std::lock_guard lock(FLock);
        return FNow;
    }
    void SleepMs(int ms) override {
        {
            std::lock_guard lock(FLock);
            FNow += std::chrono::milliseconds(ms);
            ++FSleeps;
        }
        if (FOnSleep) FOnSleep();
        std::this_thread::yield();  // lets other workers take their turn between steps
    }
    void Advance(std::chrono::milliseconds d) {
        std::lock_guard lock(FLock);
        FNow += d;
    }
    int Sleeps() {
        std::lock_guard lock(FLock);
        return FSleeps;
    }
    std::function<void()> FOnSleep;

  private:
    std::mutex FLock;
    TTimePoint FNow{std::chrono::milliseconds(1'000'000)};
    int FSleeps = 0;
};

// What the fake service answers: a body, with a status and a Retry-After when they matter.
struct TFakeAnswer {
    TFakeAnswer(std::string body, long status = 200, std::string retryAfter = {})
        : Body(std::move(body)), Status(status), RetryAfter(std::move(retryAfter)) {}
    std::string Body;
    long Status;
    std::string RetryAfter;
};

// Answers a request from its URL; may throw as the real client does, or wait for an abort.
using TResponder = std::function<TFakeAnswer(const std::string& url, const http::TAbortPredicate&)>;

inline TFakeAnswer GoodAnswer(const std::string& url, const http::TAbortPredicate&) {
    return FastAnswer(IsDesktopRequest(url));
}

// What every client of a test shares: how to answer, and what was asked.
struct TFakeScript {
    std::mutex M;
    TResponder Responder = GoodAnswer;
    IPacingClock* Clock = nullptr;  // the time PerformAt records; the real one when null
    std::vector<std::string> Urls;  // at Perform
    std::vector<std::string> Agents;
    std::vector<std::pair<int, long>> Options;
    std::vector<TTimePoint> PerformAt;
    bool RefuseUserAgent = false;
};

class TFakeCurl : public http::ICurl {
  public:
    explicit TFakeCurl(std::shared_ptr<TFakeScript> s) : S(std::move(s)) {}
    ICurl& SetUserAgent(std::string_view ua) override {
        std::lock_guard lock(S->M);
        if (S->RefuseUserAgent) throw http::ECurlError(48, "An unknown option was passed in");
        S->Agents.emplace_back(ua);
        return *this;
    }
    ICurl& SetUrl(const http::ICurlStringBuilder& b) override {
        Url = b.Build();
        return *this;
    }
    ICurl& SetOpt(int option, long value) override {
        std::lock_guard lock(S->M);
        S->Options.emplace_back(option, value);
        return *this;
    }
    ICurl& SwitchRecvToString() override {
        Body.clear();
        return *this;
    }
    ICurl& SetAbortPredicate(http::TAbortPredicate p) override {
        Abort = std::move(p);
        return *this;
    }
    ICurl& SetTimeouts(long, long) override { return *this; }
    ICurl& Perform() override {
        TResponder responder;
        {
            std::lock_guard lock(S->M);
            S->Urls.push_back(Url);
            S->PerformAt.push_back(S->Clock ? S->Clock->Now() : TClock::now());
            responder = S->Responder;
        }
        Status = 0;
        RetryAfter.clear();
        Body.clear();
        TFakeAnswer answer = responder(Url, Abort);
        Body = std::move(answer.Body);
        Status = answer.Status;
        RetryAfter = std::move(answer.RetryAfter);
        return *this;
    }
    const std::string& ResponseBody() const override { return Body; }
    ICurl& SetMaxBodyBytes(std::int64_t) override { return *this; }
    ICurl& FollowRedirects(long) override { return *this; }
    ICurl& SendEachRequestOnce() override { return *this; }
    ICurl& ReleaseResponseBody() override {
        Body.clear();
        return *this;
    }
    ICurl& AcceptCompressed() override { return *this; }
    long ResponseCode() const override { return Status; }
    std::string ResponseHeader(std::string_view name) const override {
        return name == "Retry-After" ? RetryAfter : std::string();
    }

  private:
    std::shared_ptr<TFakeScript> S;
    std::string Url, Body, RetryAfter;
    long Status = 0;
    http::TAbortPredicate Abort;
};

}  // namespace velmora::testing_support
