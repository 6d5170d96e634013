#include "platform/system/FreeMemory.h"

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
