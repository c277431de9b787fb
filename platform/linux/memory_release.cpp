#include "platform/memory_release.h"

#include <malloc.h>

namespace kelvoran {

// glibc returns only the top of the heap by itself; malloc_trim also releases
// whole free pages inside it (MADV_DONTNEED) and in the threads' arenas.
void ReturnFreedMemory() { malloc_trim(0); }

}  // namespace kelvoran
