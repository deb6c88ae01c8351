// The worker events of a run, queued for the front end's main thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "engine/events.h"

namespace velmora {

class TEventQueue final : public ITaskEventSink {
  public:
    // Called (on the posting thread) when an event arrives in an empty queue: a front end with
    // an event loop of its own schedules a delivery on its main thread there. Set it before
    // the first worker starts.
    void SetOnArrival(std::function<void()> onArrival) { FOnArrival = std::move(onArrival); }

    void Post(TWorkerEvent event) override {
        bool wasEmpty;
        {
            std::lock_guard lock(FLock);
            wasEmpty = FEvents.empty();
            FEvents.push_back(std::move(event));
        }
        FReady.notify_one();
        if (wasEmpty && FOnArrival) FOnArrival();
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
    std::function<void()> FOnArrival;
};

}  // namespace velmora
