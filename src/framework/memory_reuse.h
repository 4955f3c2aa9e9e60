#pragma once

namespace pelisto {

// Keeps the memory of freed pictures in the process for the next one. A decoded photo takes
// tens of megabytes; by default each such block is mapped from the system afresh and given back
// when freed, so every picture pays again for faulting in all its pages. Call once at start,
// before any thread starts.
void KeepFreedPictureMemory();

} // namespace pelisto
