#pragma once

#include <memory>
#include <optional>
#include <string>

namespace kelvoran {

// Where alert channels keep their secrets (SMTP passwords, webhook tokens),
// one per channel name. Never the settings file or the profile.
class SecretStore {
 public:
  virtual ~SecretStore() = default;
  // "the desktop's secret store", "Windows Credential Manager", or the file's
  // path: what the channel dialog tells the user.
  virtual std::string Where() const = 0;
  // The secret, or nothing when none is stored (or the store cannot be read).
  virtual std::optional<std::string> Read(const std::string& channel) = 0;
  // Stores or replaces; false with `error` set when it could not.
  virtual bool Write(const std::string& channel, const std::string& secret,
                     std::string& error) = 0;
  virtual void Erase(const std::string& channel) = 0;
};

// The desktop's store (Secret Service on Linux, Credential Manager on
// Windows), or null when none answers: then `why` says so.
std::unique_ptr<SecretStore> OpenDesktopSecretStore(std::string& why);

// A file readable by its owner only, for machines without a desktop store;
// used only when the user agrees.
std::unique_ptr<SecretStore> OpenSecretFile(const std::string& path);

}  // namespace kelvoran
