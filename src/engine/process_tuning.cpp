#include "engine/process_tuning.h"

#include <cstdlib>  // defines __GLIBC__ where it applies

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace velmora {

void TuneProcessForWorkers() {
#if defined(__GLIBC__)
    ::mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    ::mallopt(M_ARENA_MAX, 2);
#endif
}

}  // namespace velmora
