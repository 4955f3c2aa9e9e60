#include "framework/memory_reuse.h"

#include <malloc.h>

namespace pelisto {

void KeepFreedPictureMemory() {
    // No block of its own mapping (large blocks come from the heap and go back to it), and the
    // heap is not trimmed: a freed picture's pages stay mapped for the next picture. One heap
    // for every thread: a worker thread's own heaps are unmapped whole once a picture in them is
    // freed, and their size caps the blocks they can hold.
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

} // namespace pelisto
