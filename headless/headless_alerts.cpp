#include "headless/headless_alerts.h"

#include <algorithm>
#include <cstdlib>

#include "alert/channel_keys.h"
#include "headless/service_log.h"
#include "monitor/monitor_core.h"
#include "platform/local_names.h"
#include "platform/local_time.h"
#include "platform/secret_store.h"
#include "platform/user_profile_store.h"

namespace kelvoran {
namespace {

// Where the window keeps what the user agreed to keep in a file.
constexpr const char* kSecretFileAgreed = "AlertSecrets/InFile";

bool UsesSecret(const AlertChannel& channel) {
  constexpr std::string_view kToken = "{secret}";
  const auto names = [&](const std::string& text) { return text.find(kToken) != text.npos; };
  switch (channel.kind) {
    case ChannelKind::Email:
      return !channel.user.empty();
    case ChannelKind::Webhook:
      return names(channel.url) || names(channel.body) ||
             std::any_of(channel.headers.begin(), channel.headers.end(), names);
    default:
      return false;
  }
}

bool AgreedToSecretFile(const ProfileEntries& profile) {
  const auto found = profile.find(kSecretFileAgreed);
  return found != profile.end() && std::atol(found->second.c_str()) != 0;
}

}  // namespace

HeadlessAlerts::HeadlessAlerts(const ProfileEntries& profile, AlertJournal* journal,
                               ChannelSenders senders, ServiceLog& log)
    : log_(log) {
  std::vector<std::string> problems;
  channels_ = ChannelsOfKeys(EntriesBelow(profile, "AlertChannels"), problems);
  for (const std::string& problem : problems) log_.WriteNow("Alert channels: " + problem);
  OpenSecrets(profile);
  chain_ = std::make_unique<AlertChain>(
      senders, [this](const std::string& channel) { return ReadSecret(channel); }, journal,
      SystemAlertEnvironment());
  chain_->SetChannels(channels_);
}

HeadlessAlerts::~HeadlessAlerts() = default;

void HeadlessAlerts::OpenSecrets(const ProfileEntries& profile) {
  std::string noDesktopStore;
  secrets_ = OpenDesktopSecretStore(noDesktopStore);
  if (!secrets_ && AgreedToSecretFile(profile))
    secrets_ = OpenSecretFile(UserSettingsFolder() + "/Brindlecot/alert-secrets");
  if (secrets_) return;
  std::string needing;
  for (const AlertChannel& channel : channels_)
    if (UsesSecret(channel)) needing += (needing.empty() ? "\"" : ", \"") + channel.name + "\"";
  if (!needing.empty())
    log_.WriteNow(noDesktopStore + ", and no secret file was agreed to in the window: " + needing +
                  " send without a password or token.");
}

std::string HeadlessAlerts::ReadSecret(const std::string& channel) {
  const std::lock_guard lock(secretsLock_);
  return secrets_ ? secrets_->Read(channel).value_or("") : std::string();
}

void HeadlessAlerts::LogAttempts() {
  for (const AlertLogEntry& entry : chain_->Dispatcher().TakeNewEntries()) log_.Attempted(entry);
}

}  // namespace kelvoran
