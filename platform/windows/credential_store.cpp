// Channel secrets in the Windows Credential Manager: one generic credential
// per channel, "Kelvoran/alert/<channel>", kept for this user on this
// computer (not carried to others with a roaming profile).
#include <windows.h>
// After windows.h, whose types it uses.
#include <wincred.h>

#include "platform/secret_store.h"
#include "platform/windows/code_page.h"

namespace kelvoran {
namespace {

std::wstring TargetName(const std::string& channel) {
  return L"Kelvoran/alert/" + WideFromCodePage(CP_UTF8, channel);
}

class CredentialStore final : public SecretStore {
 public:
  std::string Where() const override { return "the Windows Credential Manager"; }

  std::optional<std::string> Read(const std::string& channel) override {
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(TargetName(channel).c_str(), CRED_TYPE_GENERIC, 0, &credential))
      return std::nullopt;
    std::string secret(reinterpret_cast<const char*>(credential->CredentialBlob),
                       credential->CredentialBlobSize);
    SecureZeroMemory(credential->CredentialBlob, credential->CredentialBlobSize);
    CredFree(credential);
    return secret;
  }

  bool Write(const std::string& channel, const std::string& secret, std::string& error) override {
    if (secret.size() > CRED_MAX_CREDENTIAL_BLOB_SIZE) {
      error = "The secret is longer than the Credential Manager keeps (" +
              std::to_string(CRED_MAX_CREDENTIAL_BLOB_SIZE) + " bytes)";
      return false;
    }
    std::wstring target = TargetName(channel);
    std::wstring user = L"Kelvoran";
    std::string blob = secret;
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = target.data();
    credential.UserName = user.data();
    credential.CredentialBlobSize = static_cast<DWORD>(blob.size());
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    const bool written = CredWriteW(&credential, 0) != FALSE;
    if (!written) error = "Cannot store the secret: " + SystemErrorText(GetLastError());
    SecureZeroMemory(blob.data(), blob.size());
    return written;
  }

  void Erase(const std::string& channel) override {
    CredDeleteW(TargetName(channel).c_str(), CRED_TYPE_GENERIC, 0);
  }
};

}  // namespace

// The Credential Manager is part of every Windows the program runs on.
std::unique_ptr<SecretStore> OpenDesktopSecretStore(std::string&) {
  return std::make_unique<CredentialStore>();
}

}  // namespace kelvoran
