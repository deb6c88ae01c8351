#include "engine/process_tuning.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace velmora {

void TuneProcessForWorkers() {
#if defined(__GLIBC__)
    ::mallopt(M_ARENA_MAX, 2);
#endif
}

void ReleaseFreedMemory() {
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

}  // namespace velmora
