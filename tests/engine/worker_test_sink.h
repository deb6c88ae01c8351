// An event sink for worker tests: queues what workers post and lets the test wait for it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/events.h"
#include "engine/worker.h"

namespace velmora::testing_support {

class TQueueSink : public ITaskEventSink {
  public:
    void Post(TWorkerEvent event) override {
        std::lock_guard lock(FMutex);
        if (event.Id == WM_TASK_FINISHED) CountAtFinish = ActiveTaskCount.load();
        FEvents.push_back(std::move(event));
        FChanged.notify_all();
    }

    // Waits until a worker's last event (the request-sent after a finished task) arrived
    // `workers` times; false on time-out.
    bool WaitForEnd(int workers = 1, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(FMutex);
        return FChanged.wait_for(lock, limit, [&] { return EndsLocked() >= workers; });
    }

    // Takes every event queued so far; true when there was one.
    bool Drain(std::vector<TWorkerEvent>& out) {
        std::lock_guard lock(FMutex);
        bool any = !FEvents.empty();
        for (auto& e : FEvents) out.push_back(std::move(e));
        FEvents.clear();
        return any;
    }

    // The events as short texts: log lines as themselves, the others as their names.
    std::vector<std::string> Trace() {
        std::lock_guard lock(FMutex);
        std::vector<std::string> out;
        for (const auto& e : FEvents) {
            if (e.Id == WM_TASK_LOG) out.push_back(e.Log ? e.Log->MsgText : "<null log>");
            if (e.Id == WM_TASK_FINISHED) out.push_back("FINISHED");
            if (e.Id == WM_REQUEST_SENT) out.push_back("REQUEST_SENT");
        }
        return out;
    }

    // The finished task of the n-th ending worker.
    std::unique_ptr<TURLTaskInfo> TakeTask(size_t n = 0) {
        std::lock_guard lock(FMutex);
        for (auto& e : FEvents) {
            if (e.Id == WM_TASK_FINISHED && e.Task && n-- == 0) return std::move(e.Task);
        }
        return nullptr;
    }

    int CountAtFinish = -1;

  private:
    int EndsLocked() const {
        int ends = 0;
        bool finished = false;
        for (const auto& e : FEvents) {
            if (e.Id == WM_TASK_FINISHED) finished = true;
            if (e.Id == WM_REQUEST_SENT && finished) {
                ++ends;
                finished = false;
            }
        }
        return ends;
    }

    std::mutex FMutex;
    std::condition_variable FChanged;
    std::deque<TWorkerEvent> FEvents;
};

// Waits until every worker thread is gone, so nothing outlives the test's sink and pool.
inline bool WaitForNoLiveWorkers(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    auto until = std::chrono::steady_clock::now() + limit;
    while (TActiveTaskThread::LiveThreads() > 0) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace velmora::testing_support
