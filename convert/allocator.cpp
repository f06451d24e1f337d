#include "convert/allocator.h"

#include <cstdlib> // brings the C library's own macros, __GLIBC__ among them

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace morvane::convert {

void keepPictureBuffers()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

} // namespace morvane::convert
