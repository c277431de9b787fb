#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvoran {

// Whether this build can check bcrypt hashes (libxcrypt's crypt_rn; a
// Windows build made without the cross-built libxcrypt cannot).
bool BcryptBuiltIn();

// "$2a$", "$2b$" or "$2y$", a two-digit cost and the 53 characters of salt
// and hash. Anything else is refused before crypt() sees it: crypt() would
// also take a DES, MD5 or SHA-crypt setting and check it as such.
bool IsBcryptHash(std::string_view hash);

// A new "$2b$" hash of `password` with a random salt from the system's random
// source, at bcrypt's usual cost; nothing when this build has no bcrypt.
std::optional<std::string> BcryptHash(const std::string& password);

// The check of one user name and password hash. bcrypt costs tens of
// milliseconds on purpose; a scraper sends the same credentials every few
// seconds, so a success is remembered for a few minutes by a keyed digest of
// what was sent (never the password itself), in a short list. The server
// answers on one thread: bcrypt runs at most kChecksPerSecond times a second
// (after a burst of as many), so that a flood of wrong passwords cannot hold
// up a scraper whose success is remembered; beyond that a request is refused
// unchecked.
class PasswordCheck {
 public:
  PasswordCheck(std::string user, std::string bcryptHash);
  ~PasswordCheck();
  PasswordCheck(const PasswordCheck&) = delete;
  PasswordCheck& operator=(const PasswordCheck&) = delete;

  bool Allows(std::string_view user, std::string_view password);

  static constexpr std::size_t kRememberedLimit = 8;
  static constexpr std::chrono::minutes kRememberedFor{5};
  static constexpr double kChecksPerSecond = 4;

 private:
  using Digest = std::string;
  struct Remembered {
    Digest digest;
    std::chrono::steady_clock::time_point until;
  };
  Digest DigestOf(std::string_view user, std::string_view password) const;
  bool Remembers(const Digest& digest);
  void Remember(Digest digest);
  bool MayCheck();

  std::string user_;
  std::string hash_;
  // Random per check: the digests mean nothing outside this process.
  std::string digestKey_;
  std::mutex mutex_;
  std::vector<Remembered> remembered_;
  double checksAllowed_ = kChecksPerSecond;
  std::chrono::steady_clock::time_point lastAllowance_ = std::chrono::steady_clock::now();
};

}  // namespace kelvoran
