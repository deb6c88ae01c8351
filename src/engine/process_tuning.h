// Process-wide settings that suit many short-lived worker threads.
#pragma once

namespace velmora {

// Call first in main. glibc gives each thread that allocates its own malloc arena; with twenty
// workers parsing megabyte answers, the buffers they free stay spread over twenty arenas and the
// process keeps tens of megabytes it no longer uses. Two arenas keep contention low and the
// memory returnable.
void TuneProcessForWorkers();

// Hands memory freed by finished workers back to the system (after a run).
void ReleaseFreedMemory();

}  // namespace velmora
