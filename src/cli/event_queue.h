// Worker events queued for the CLI's main loop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "engine/events.h"

namespace velmora::cli {

class TEventQueue final : public ITaskEventSink {
  public:
    void Post(TWorkerEvent event) override {
        {
            std::lock_guard lock(FLock);
            FEvents.push_back(std::move(event));
        }
        FReady.notify_one();
    }

    // The oldest event, waiting up to timeout for one.
    std::optional<TWorkerEvent> Pop(std::chrono::milliseconds timeout) {
        std::unique_lock lock(FLock);
        if (!FReady.wait_for(lock, timeout, [&] { return !FEvents.empty(); })) return std::nullopt;
        TWorkerEvent ev = std::move(FEvents.front());
        FEvents.pop_front();
        return ev;
    }

  private:
    std::mutex FLock;
    std::condition_variable FReady;
    std::deque<TWorkerEvent> FEvents;
};

}  // namespace velmora::cli
