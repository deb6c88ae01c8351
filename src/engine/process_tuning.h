// Process-wide settings that suit many short-lived worker threads.
#pragma once

namespace velmora {

// Call first in main. Every worker receives and parses answers of up to a few megabytes in
// buffers it frees when its task ends. glibc would serve such blocks from its heaps once the
// first one has been freed (its mmap threshold adapts upwards), and the freed megabytes then
// stay with the process, spread over one arena per thread. A fixed threshold keeps large
// blocks mapped on their own, so freeing them returns them; two arenas keep the rest compact.
void TuneProcessForWorkers();

}  // namespace velmora
