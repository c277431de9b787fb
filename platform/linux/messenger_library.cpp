#include "platform/messenger_library.h"

#include <dlfcn.h>

namespace kelvoran {
namespace {

using MessengerFunction = std::uint32_t (*)(const char16_t*, const char16_t*, const char16_t*,
                                            const std::uint8_t*, std::uint32_t);

}  // namespace

MessengerEntry FindMessenger(const char* libraryName) {
  MessengerEntry entry;
  entry.library = dlopen(libraryName, RTLD_NOW | RTLD_LOCAL);
  if (!entry.library) return entry;
  // POSIX guarantees that a symbol's address from dlsym converts to a function
  // pointer.
  if (void* symbol = dlsym(entry.library, MessengerEntryName))
    entry.send = reinterpret_cast<MessengerFunction>(symbol);
  return entry;
}

}  // namespace kelvoran
