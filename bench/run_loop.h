// The main thread's part of a run in a benchmark, as the CLI plays it: worker events go to the
// run controller until the run has ended; then whatever late workers still post is drained.
#pragma once

#include <chrono>
#include <functional>

#include "cli/event_queue.h"
#include "engine/run_controller.h"

namespace velmora::bench {

inline void DeliverUntilEnded(CheckRunController& controller, cli::TEventQueue& queue,
                              const std::function<void(const TWorkerEvent&)>& seen = {}) {
    while (controller.Running()) {
        if (auto ev = queue.Pop(std::chrono::milliseconds(250))) {
            if (seen) seen(*ev);
            controller.WndProc(std::move(*ev));
        }
    }
}

inline void DrainAfterEnd(CheckRunController& controller, cli::TEventQueue& queue) {
    controller.Shutdown([&] {
        bool any = false;
        while (auto ev = queue.Pop(std::chrono::milliseconds(0))) {
            controller.WndProc(std::move(*ev));
            any = true;
        }
        return any;
    });
}

}  // namespace velmora::bench
