#include "imaging/heap.hpp"

#include <cstdlib>  // defines __GLIBC__ on glibc systems, which the test below needs

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace karvona::imaging {

bool KeepFreedMemoryForReuse() {
#if defined(__GLIBC__)
    // Setting any of these turns off glibc's adaptive thresholds, so all three are set. Blocks
    // below 32 MB (the largest mapping threshold glibc accepts on 64-bit systems) come from the
    // heap, freed memory stays there up to 512 MB, and the heap grows 64 MB at a time.
    const bool mapped = mallopt(M_MMAP_THRESHOLD, 32 << 20) == 1;
    const bool trimmed = mallopt(M_TRIM_THRESHOLD, 512 << 20) == 1;
    const bool padded = mallopt(M_TOP_PAD, 64 << 20) == 1;
    return mapped && trimmed && padded;
#else
    return false;
#endif
}

}  // namespace karvona::imaging
