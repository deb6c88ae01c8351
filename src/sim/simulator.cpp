#include "sim/simulator.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "base/site_paths.h"
#include "sim/simulator_impl.h"

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

}  // namespace

std::string SourceTreeAnswerDir() {
    return VELMORA_PSI_ANSWERS;
}

Simulator::Simulator(SimOptions options) : FImpl(std::make_unique<Impl>()) {
    FImpl->FOptions = std::move(options);
    FImpl->FRng.seed(FImpl->FOptions.seed);
}

Simulator::~Simulator() {
    Stop();
}

bool Simulator::Start() {
    Impl& s = *FImpl;
    if (s.FServer) {
        s.FError = "simulator already running";
        return false;
    }
    s.FError.clear();
    if (!s.LoadAnswers() || !s.CheckPort() || !s.OpenLog()) return false;
    s.ResetCounters();
    int listenFd = -1;
    std::unique_ptr<httplib::Server> FServer = s.MakeServer(&listenFd);
    if (!s.Bind(*FServer)) return false;
    // httplib listens with a backlog of 5; twenty workers connecting at once would see SYNs
    // dropped and retried a second later. Listening again only raises the backlog.
    if (listenFd >= 0) ::listen(listenFd, SOMAXCONN);
    if (s.Launch(std::move(FServer))) return true;
    Stop();
    return false;
}

bool Simulator::Impl::LoadAnswers() {
    Fixtures loaded;
    if (!LoadFixtures(FOptions.fixtureDir, &loaded, &FError)) return false;
    FFixtures = std::move(loaded);
    FDailyQuota = DailyQuotaAnswer(FFixtures.quota);
    return true;
}

bool Simulator::Impl::CheckPort() {
    if (FOptions.port >= 0 && FOptions.port <= 65535) return true;
    FError = "invalid port " + std::to_string(FOptions.port);
    return false;
}

bool Simulator::Impl::OpenLog() {
    std::lock_guard lock(FLogMu);
    FRecords.clear();
    if (FOptions.requestLogPath.empty()) return true;
    FLogFile.open(FOptions.requestLogPath, std::ios::out | std::ios::trunc);
    if (FLogFile) return true;
    FError = "cannot open request log " + FOptions.requestLogPath;
    return false;
}

void Simulator::Impl::ResetCounters() {
    {
        std::lock_guard lock(FStopMu);
        FStopping = false;
    }
    std::lock_guard lock(FQuotaMu);
    FQuotaWindow.clear();
    FDayCount = 0;
}

std::unique_ptr<httplib::Server> Simulator::Impl::MakeServer(int* listenFd) {
    auto created = std::make_unique<httplib::Server>();
    // Hanging connections each hold a worker, and tests open twenty or more at once.
    created->new_task_queue = [] { return new httplib::ThreadPool(64); };
    // httplib's default adds SO_REUSEPORT, which would let a second simulator share the port.
    created->set_socket_options([listenFd](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        *listenFd = sock;
    });
    created->set_keep_alive_max_count(
        static_cast<size_t>(std::max(1, FOptions.requestsPerConnection)));
    created->set_keep_alive_timeout(std::max(1, FOptions.keepAliveS));
    created->set_read_timeout(5);
    created->set_write_timeout(5);
    created->Get(kPathNews, [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kNewsPage, "text/html; charset=utf-8");
    });
    created->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        Handle(req, res);
        CompressIfAsked(req, res);
    });
    // Requests httplib rejects itself (other methods, malformed lines) still get a JSON error.
    created->set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
            res.set_content(
                ErrorBody(res.status,
                          "Request rejected with HTTP status " + std::to_string(res.status),
                          res.status == 404 ? "notFound" : "badRequest",
                          res.status == 404 ? "NOT_FOUND" : "INVALID_ARGUMENT"),
                kJsonType);
        }
    });
    return created;
}

bool Simulator::Impl::Bind(httplib::Server& candidate) {
    if (FOptions.port == 0) {
        FPort = candidate.bind_to_any_port("127.0.0.1");
    } else {
        FPort = candidate.bind_to_port("127.0.0.1", FOptions.port) ? FOptions.port : -1;
    }
    if (FPort > 0) return true;
    FError = "cannot listen on 127.0.0.1:" + std::to_string(FOptions.port);
    FPort = 0;
    std::lock_guard lock(FLogMu);
    FLogFile.close();
    return false;
}

bool Simulator::Impl::Launch(std::unique_ptr<httplib::Server> bound) {
    FStarted = Clock::now();
    FServer = std::move(bound);
    httplib::Server* raw = FServer.get();
    FThread = std::thread([raw] { raw->listen_after_bind(); });
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!raw->is_running() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (raw->is_running()) return true;
    FError = "server did not start";
    return false;
}

void Simulator::Stop() {
    Impl& s = *FImpl;
    if (!s.FServer) return;
    {
        std::lock_guard lock(s.FStopMu);
        s.FStopping = true;
    }
    s.FStopCv.notify_all();
    s.FServer->stop();
    if (s.FThread.joinable()) s.FThread.join();
    s.FServer.reset();
    std::lock_guard lock(s.FLogMu);
    s.FLogFile.close();
}

bool Simulator::Running() const {
    return FImpl->FServer && FImpl->FServer->is_running();
}

int Simulator::Port() const {
    return FImpl->FPort;
}

std::chrono::steady_clock::time_point Simulator::StartedAt() const {
    return FImpl->FStarted;
}

std::string Simulator::Endpoint() const {
    return "http://127.0.0.1:" + std::to_string(FImpl->FPort);
}

std::string Simulator::Error() const {
    return FImpl->FError;
}

std::vector<RequestRecord> Simulator::Requests() const {
    std::lock_guard lock(FImpl->FLogMu);
    return FImpl->FRecords;
}

}  // namespace velmora::sim
