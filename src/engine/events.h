// What workers report to a front end.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/tasks.h"

namespace velmora {

enum class TWorkerEventKind : uint8_t {
    TaskFinished,  // the worker's task copy with its results
    Log,           // one log line
    RequestSent,   // before each request and once more at the worker's end
};

enum class TLogLevel : uint8_t {
    Info,
    Error,    // a URL's check failed or could not go on
    Warning,  // the user must see it even where the log is hidden (a quiet command line)
};

struct TMsgForLog {
    std::string MsgText;  // already translated and formatted
    std::chrono::system_clock::time_point MsgTime;
    // The task the line is about, 0 for none: a front end can tell which rows still move.
    int32_t TaskNum = 0;
    TLogLevel Level = TLogLevel::Info;
    // A quota holds the run back: no request goes before this point of the steady clock.
    std::optional<std::chrono::steady_clock::time_point> QuotaWaitUntil = std::nullopt;
};

// One posted event; exactly the payload that belongs to Kind is set.
struct TWorkerEvent {
    TWorkerEventKind Kind = TWorkerEventKind::Log;
    std::unique_ptr<TURLTaskInfo> Task;  // TaskFinished
    std::unique_ptr<TMsgForLog> Log;     // Log
};

// Post must not wait, may be called from any thread, and keeps one poster's events in the
// order posted.
class ITaskEventSink {
  public:
    virtual ~ITaskEventSink() = default;
    virtual void Post(TWorkerEvent event) = 0;
};

}  // namespace velmora
