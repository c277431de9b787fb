#include "platform/messenger_library.h"

#include "platform/windows/wine_host.h"

// The network calls' header uses the types the one of Windows declares.
// clang-format off
#include <windows.h>
#include <lm.h>
// clang-format on

namespace kelvoran {
namespace {

// The entry point's own declaration gives its type, calling convention
// included (WINAPI).
using MessengerFunction = decltype(&NetMessageBufferSend);

MessengerSend WrapMessenger(MessengerFunction function) {
  return [function](const char16_t* server, const char16_t* messageName, const char16_t* fromName,
                    const std::uint8_t* buffer, std::uint32_t bufferLength) -> std::uint32_t {
    // UTF-16 is what wchar_t holds on Windows. The buffer is only read; the
    // declaration lacks its const.
    return function(reinterpret_cast<LPCWSTR>(server), reinterpret_cast<LPCWSTR>(messageName),
                    reinterpret_cast<LPCWSTR>(fromName), const_cast<LPBYTE>(buffer), bufferLength);
  };
}

// Whether the library is the system's own messenger library, the one its
// folder holds: the handle of a loaded library is the same however it was
// found.
bool IsSystemMessenger(HMODULE library) {
  const HMODULE system =
      LoadLibraryExA(MessengerLibraryName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (system) FreeLibrary(system);
  return system == library;
}

// Wine's messenger entry point is a stub that ends the process when called,
// so there its library counts as missing and popups go through the terminal
// services alone. Another library of that entry point is still used.
HMODULE LoadUsableMessenger(const char* libraryName) {
  const HMODULE library = LoadLibraryA(libraryName);
  if (library && RunningUnderWine() && IsSystemMessenger(library)) {
    FreeLibrary(library);
    return nullptr;
  }
  return library;
}

}  // namespace

MessengerEntry FindMessenger(const char* libraryName) {
  MessengerEntry entry;
  const HMODULE library = LoadUsableMessenger(libraryName);
  entry.library = library;
  if (!library) return entry;
  // GetProcAddress hands every entry point out as FARPROC; it becomes the
  // entry point's real type through the generic function pointer type.
  if (const FARPROC symbol = GetProcAddress(library, MessengerEntryName))
    entry.send =
        WrapMessenger(reinterpret_cast<MessengerFunction>(reinterpret_cast<void (*)()>(symbol)));
  return entry;
}

}  // namespace kelvoran
