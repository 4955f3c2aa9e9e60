#include "framework/memory_reuse.h"

#include <malloc.h>

namespace pelisto {

void KeepFreedPictureMemory() {
    // No block of its own mapping (large blocks come from the heap and go back to it), and the
    // heap is not trimmed: a freed picture's pages stay mapped for the next picture.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

} // namespace pelisto
