// An event sink for worker tests: queues what workers post and lets the test wait for it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "engine/events.h"
#include "engine/worker.h"

namespace velmora::testing_support {

class TQueueSink : public ITaskEventSink {
  public:
    void Post(TWorkerEvent event) override {
        std::lock_guard lock(FMutex);
        if (event.Kind == TWorkerEventKind::TaskFinished && CountedIn)
            CountAtFinish = CountedIn->ActiveTasks();
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
            switch (e.Kind) {
                case TWorkerEventKind::Log:
                    out.push_back(e.Log ? e.Log->MsgText : "<null log>");
                    break;
                case TWorkerEventKind::TaskFinished:
                    out.push_back("FINISHED");
                    break;
                case TWorkerEventKind::RequestSent:
                    out.push_back("REQUEST_SENT");
                    break;
            }
        }
        return out;
    }

    // The finished task of the n-th ending worker.
    std::unique_ptr<TURLTaskInfo> TakeTask(size_t n = 0) {
        std::lock_guard lock(FMutex);
        for (auto& e : FEvents) {
            if (e.Kind == TWorkerEventKind::TaskFinished && e.Task && n-- == 0)
                return std::move(e.Task);
        }
        return nullptr;
    }

    // The pool whose active count is read when a finished task is posted, or null.
    const TURLTaskInfoPool* CountedIn = nullptr;
    int CountAtFinish = -1;

  private:
    int EndsLocked() const {
        int ends = 0;
        bool finished = false;
        for (const auto& e : FEvents) {
            if (e.Kind == TWorkerEventKind::TaskFinished) finished = true;
            if (e.Kind == TWorkerEventKind::RequestSent && finished) {
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

// Starts workers as a run does, each with the configuration of its moment, and joins them.
class TWorkerThreads {
  public:
    ~TWorkerThreads() { JoinAll(); }
    void Start(std::unique_ptr<TURLTaskInfo> task, const std::string& key, TURLTaskInfoPool& pool,
               ITaskEventSink& sink, const TWorkerConfig& config,
               TCategorySet categories = kPerformanceOnly) {
        FFactories.push_back(std::make_unique<TThreadWorkerFactory>(config));
        FFactories.back()->StartWorker(std::move(task),
                                       TWorkerRun{key, pool, sink, categories, {}});
    }
    int32_t Live() const {
        int32_t live = 0;
        for (const auto& f : FFactories) live += f->LiveWorkers();
        return live;
    }
    void JoinAll() {
        for (const auto& f : FFactories) f->JoinAll();
    }

  private:
    std::vector<std::unique_ptr<TThreadWorkerFactory>> FFactories;
};

}  // namespace velmora::testing_support
