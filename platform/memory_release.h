#pragma once

namespace kelvoran {

// Hands memory the program has freed back to the system. The allocator keeps
// freed heap pages for reuse; after a burst that will not come again (the
// start-up, with its About box and its pictures) they would otherwise stay
// resident for the weeks the program runs.
void ReturnFreedMemory();

}  // namespace kelvoran
