#include "platform/system_crypto.h"

#include <gnutls/crypto.h>
#include <sys/random.h>

#include <cerrno>
#include <cstring>

namespace kelvoran {

// getrandom(2) without flags blocks only until the kernel's pool is first
// seeded; it returns fewer bytes than asked only when a signal comes.
bool SystemRandomBytes(std::span<unsigned char> bytes) {
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    filled += static_cast<std::size_t>(got);
  }
  return true;
}

// GnuTLS is linked already: Debian's libmicrohttpd serves HTTPS with it.
std::string HmacSha256(std::string_view key, std::string_view text) {
  std::string digest(32, '\0');
  const int failed = gnutls_hmac_fast(GNUTLS_MAC_SHA256, key.data(), key.size(), text.data(),
                                      text.size(), digest.data());
  return failed ? std::string() : digest;
}

void WipeSecret(void* memory, std::size_t size) { explicit_bzero(memory, size); }

}  // namespace kelvoran
