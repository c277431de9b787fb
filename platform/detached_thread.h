#pragma once

#include <functional>

namespace kelvoran {

// Runs the body on a new thread that is never joined. Returns false, or throws
// std::bad_alloc, when no thread could be started; the body has then not run.
bool StartDetachedThread(std::function<void()> body);

}  // namespace kelvoran
