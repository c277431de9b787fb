#include "platform/system_crypto.h"

// bcrypt.h needs windows.h's types first.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <limits>

namespace kelvoran {
namespace {

constexpr bool Succeeded(NTSTATUS status) { return status >= 0; }

// Each CNG handle closed on every path out.
struct AlgorithmHandle {
  BCRYPT_ALG_HANDLE handle = nullptr;
  ~AlgorithmHandle() {
    if (handle) BCryptCloseAlgorithmProvider(handle, 0);
  }
};
struct HashHandle {
  BCRYPT_HASH_HANDLE handle = nullptr;
  ~HashHandle() {
    if (handle) BCryptDestroyHash(handle);
  }
};

bool FitsUlong(std::size_t size) { return size <= std::numeric_limits<ULONG>::max(); }

PUCHAR Bytes(std::string_view text) {
  return reinterpret_cast<PUCHAR>(const_cast<char*>(text.data()));
}

}  // namespace

// The system's preferred generator needs no algorithm handle of ours.
bool SystemRandomBytes(std::span<unsigned char> bytes) {
  if (!FitsUlong(bytes.size())) return false;
  return Succeeded(BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()),
                                   BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

// CNG's SHA-256 provider opened for HMAC; the hash object's memory is CNG's
// own (a null buffer, as Windows 7 and later allow).
std::string HmacSha256(std::string_view key, std::string_view text) {
  if (!FitsUlong(key.size()) || !FitsUlong(text.size())) return {};
  AlgorithmHandle algorithm;
  HashHandle hash;
  std::string digest(32, '\0');
  const bool made =
      Succeeded(BCryptOpenAlgorithmProvider(&algorithm.handle, BCRYPT_SHA256_ALGORITHM, nullptr,
                                            BCRYPT_ALG_HANDLE_HMAC_FLAG)) &&
      Succeeded(BCryptCreateHash(algorithm.handle, &hash.handle, nullptr, 0, Bytes(key),
                                 static_cast<ULONG>(key.size()), 0)) &&
      Succeeded(BCryptHashData(hash.handle, Bytes(text), static_cast<ULONG>(text.size()), 0)) &&
      Succeeded(BCryptFinishHash(hash.handle, reinterpret_cast<PUCHAR>(digest.data()),
                                 static_cast<ULONG>(digest.size()), 0));
  return made ? digest : std::string();
}

void WipeSecret(void* memory, std::size_t size) { SecureZeroMemory(memory, size); }

}  // namespace kelvoran
