#include "platform/memory_release.h"

#include <malloc.h>

namespace kelvoran {

// The C runtime's heap keeps freed blocks for reuse; _heapmin hands the
// unused ones back to the system (HeapCompact underneath).
void ReturnFreedMemory() { _heapmin(); }

}  // namespace kelvoran
