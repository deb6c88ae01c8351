// What workers report to a front end.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/tasks.h"

namespace velmora {

// Event ids. They lie in Qt's user event range (1000..65535), so the desktop window posts
// them as its own event types without a mapping.
inline constexpr uint32_t WM_TASK_FINISHED = 1025;
inline constexpr uint32_t WM_TASK_LOG = 1026;
inline constexpr uint32_t WM_REQUEST_SENT = 1027;

struct TMsgForLog {
    std::string MsgText;  // already translated and formatted
    std::chrono::system_clock::time_point MsgTime;
    // The task the line is about, 0 for none: a front end can tell which rows still move.
    int32_t TaskNum = 0;
};

// One posted event; exactly the payload that belongs to Id is set.
struct TWorkerEvent {
    uint32_t Id = 0;
    std::unique_ptr<TURLTaskInfo> Task;  // WM_TASK_FINISHED
    std::unique_ptr<TMsgForLog> Log;     // WM_TASK_LOG
};

// Implemented by each front end. Post must not wait, may be called from any thread, and
// delivers one poster's events in the order posted, on the front end's own (main) thread.
class ITaskEventSink {
  public:
    virtual ~ITaskEventSink() = default;
    virtual void Post(TWorkerEvent event) = 0;
};

}  // namespace velmora
