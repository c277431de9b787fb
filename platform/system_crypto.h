#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace kelvoran {

// Fills `bytes` from the operating system's random source; false when it
// gives none (the caller then makes nothing that needs them).
bool SystemRandomBytes(std::span<unsigned char> bytes);

// HMAC-SHA-256 of `text` under `key`: 32 bytes, or empty on a failure.
std::string HmacSha256(std::string_view key, std::string_view text);

// Overwrites memory that held a secret, in a way the compiler may not drop as
// a store to memory that is about to be freed.
void WipeSecret(void* memory, std::size_t size);

}  // namespace kelvoran
