#pragma once

#include <cstdint>
#include <functional>

namespace kelvoran {

// The messenger's send call: no server name means the local computer sends;
// the message name and the buffer are UTF-16, the buffer length is in bytes
// and counts the terminating zero. Returns 0 when the message was delivered.
using MessengerSend = std::function<std::uint32_t(
    const char16_t* server, const char16_t* messageName, const char16_t* fromName,
    const std::uint8_t* buffer, std::uint32_t bufferLength)>;

inline constexpr const char* MessengerLibraryName = "NETAPI32.DLL";
inline constexpr const char* MessengerEntryName = "NetMessageBufferSend";

struct MessengerEntry {
  void* library = nullptr;  // stays loaded until the process ends
  MessengerSend send;       // empty when the library or its entry point is missing
};

}  // namespace kelvoran
