#include "platform/system/FreeMemory.h"

// Any header of the C library defines the macro that names it; without one included
// first, the test below would never see it.
#include <cstddef>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

void giveFreedMemoryBack() {
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

} // namespace platform
