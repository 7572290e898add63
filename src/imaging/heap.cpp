#include "imaging/heap.hpp"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace karvona::imaging {

void KeepFreedMemoryForReuse() {
#if defined(__GLIBC__)
    // Setting any of these turns off glibc's adaptive thresholds, so all three are set.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    mallopt(M_TOP_PAD, 64 << 20);
#endif
}

}  // namespace karvona::imaging
