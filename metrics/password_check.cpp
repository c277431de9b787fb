#include "metrics/password_check.h"

#include <algorithm>
#include <memory>
#include <regex>

#include "platform/system_crypto.h"

#ifdef KELVORAN_BCRYPT
#include <crypt.h>
#endif

namespace kelvoran {
namespace {

// Go's bcrypt and htpasswd both default to 10: about 50-100 ms a check.
[[maybe_unused]] constexpr unsigned long kBcryptCost = 10;
[[maybe_unused]] constexpr std::size_t kDigestKeySize = 32;
// bcrypt's salt is 16 bytes; crypt_gensalt_rn wants at least as many.
[[maybe_unused]] constexpr std::size_t kSaltBytes = 16;

// Takes as long for two strings of a length whatever their bytes: what is
// compared is a hash or a digest, whose length tells nothing.
bool SameInConstantTime(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

#ifdef KELVORAN_BCRYPT
// crypt_rn's work area is 32 kB: on the heap, and wiped of the password.
struct CryptArea {
  crypt_data data{};
  ~CryptArea() { WipeSecret(&data, sizeof data); }
};

std::string Crypt(const std::string& password, const char* setting) {
  auto area = std::make_unique<CryptArea>();
  const char* out = crypt_rn(password.c_str(), setting, &area->data, sizeof area->data);
  // libxcrypt marks a failure with an output starting with '*'.
  return out && out[0] != '*' ? std::string(out) : std::string();
}
#endif

}  // namespace

bool IsBcryptHash(std::string_view hash) {
  static const std::regex bcrypt(R"(\$2[aby]\$[0-3][0-9]\$[./A-Za-z0-9]{53})");
  return std::regex_match(hash.begin(), hash.end(), bcrypt);
}

#ifdef KELVORAN_BCRYPT

bool BcryptBuiltIn() { return true; }

std::optional<std::string> BcryptHash(const std::string& password) {
  // Given, not left to libxcrypt: it knows no random source on Windows.
  unsigned char salt[kSaltBytes];
  if (!SystemRandomBytes(salt)) return std::nullopt;
  char setting[CRYPT_GENSALT_OUTPUT_SIZE];
  if (!crypt_gensalt_rn("$2b$", kBcryptCost, reinterpret_cast<const char*>(salt), sizeof salt,
                        setting, sizeof setting))
    return std::nullopt;
  std::string hash = Crypt(password, setting);
  if (!IsBcryptHash(hash)) return std::nullopt;
  return hash;
}

PasswordCheck::PasswordCheck(std::string user, std::string bcryptHash)
    : user_(std::move(user)), hash_(std::move(bcryptHash)), digestKey_(kDigestKeySize, '\0') {
  // Without a key no digest is made, and Allows refuses everything.
  if (!SystemRandomBytes(
          std::span(reinterpret_cast<unsigned char*>(digestKey_.data()), digestKey_.size())))
    digestKey_.clear();
}

PasswordCheck::~PasswordCheck() { WipeSecret(digestKey_.data(), digestKey_.size()); }

bool PasswordCheck::Allows(std::string_view user, std::string_view password) {
  if (!IsBcryptHash(hash_)) return false;
  Digest digest = DigestOf(user, password);
  if (digest.empty()) return false;
  if (Remembers(digest)) return true;
  if (!MayCheck()) return false;
  // The hash is checked for a wrong user too: how long the answer takes does
  // not tell whether the name was right.
  std::string phrase(password);
  const bool passwordRight = SameInConstantTime(Crypt(phrase, hash_.c_str()), hash_);
  WipeSecret(phrase.data(), phrase.size());
  if (!SameInConstantTime(user, user_) || !passwordRight) return false;
  Remember(std::move(digest));
  return true;
}

// HMAC-SHA-256 of the name, a NUL and the password: the name cannot run
// into the password.
PasswordCheck::Digest PasswordCheck::DigestOf(std::string_view user,
                                              std::string_view password) const {
  std::string text(user);
  text.push_back('\0');
  text.append(password);
  Digest digest = digestKey_.empty() ? Digest() : HmacSha256(digestKey_, text);
  WipeSecret(text.data(), text.size());
  return digest;
}

#else

bool BcryptBuiltIn() { return false; }
std::optional<std::string> BcryptHash(const std::string& /*password*/) { return std::nullopt; }
PasswordCheck::PasswordCheck(std::string user, std::string bcryptHash)
    : user_(std::move(user)), hash_(std::move(bcryptHash)) {}
PasswordCheck::~PasswordCheck() = default;
bool PasswordCheck::Allows(std::string_view /*user*/, std::string_view /*password*/) {
  return false;
}
PasswordCheck::Digest PasswordCheck::DigestOf(std::string_view /*user*/,
                                              std::string_view /*password*/) const {
  return {};
}

#endif

bool PasswordCheck::Remembers(const Digest& digest) {
  const std::lock_guard lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  std::erase_if(remembered_, [&](const Remembered& each) { return each.until <= now; });
  bool found = false;
  // Every entry is compared, so that the time taken does not tell which.
  for (const Remembered& each : remembered_) found |= SameInConstantTime(each.digest, digest);
  return found;
}

bool PasswordCheck::MayCheck() {
  const std::lock_guard lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  const std::chrono::duration<double> elapsed = now - lastAllowance_;
  lastAllowance_ = now;
  checksAllowed_ = std::min(kChecksPerSecond, checksAllowed_ + elapsed.count() * kChecksPerSecond);
  if (checksAllowed_ < 1) return false;
  checksAllowed_ -= 1;
  return true;
}

void PasswordCheck::Remember(Digest digest) {
  const std::lock_guard lock(mutex_);
  if (remembered_.size() >= kRememberedLimit) remembered_.erase(remembered_.begin());
  remembered_.push_back({std::move(digest), std::chrono::steady_clock::now() + kRememberedFor});
}

}  // namespace kelvoran
