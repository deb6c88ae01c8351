// The worker thread that checks one URL for both strategies.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/events.h"
#include "engine/pool.h"
#include "engine/tasks.h"
#include "http/curl.h"

namespace velmora {

inline constexpr const char* kDefaultEndpoint = "https://www.googleapis.com";
inline constexpr const char* kServicePath = "/pagespeedonline/v5/runPagespeed";
inline constexpr const char* kUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:53.0) Gecko/20100101 Firefox/53.0";

// Everything a worker needs besides its task; shared by all workers of a front end.
struct TWorkerConfig {
    std::string Endpoint = kDefaultEndpoint;  // scheme, host and optional port
    ITaskEventSink* Sink = nullptr;
    std::function<std::shared_ptr<http::ICurl>()> NewClient;  // default: http::NewCurlClient
    char DecimalSeparator = '.';                               // of the user's locale
};

// TActiveTaskThread and TThreadWorkerFactory (the usual IWorkerFactory: one detached
// TActiveTaskThread per task) follow here.

}  // namespace velmora
