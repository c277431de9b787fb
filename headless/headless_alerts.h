#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "alert/alert_chain.h"
#include "portable/desktop_profile_text.h"

namespace kelvoran {

class SecretStore;
class ServiceLog;

// The alert channels of the user's profile without the window: the same
// dispatcher and raiser the window uses, their secrets from the desktop's
// store or the user's secret file (where the user agreed to one in the
// window). What cannot be had without a desktop is told once in the log.
class HeadlessAlerts {
 public:
  HeadlessAlerts(const ProfileEntries& profile, AlertJournal* journal, ChannelSenders senders,
                 ServiceLog& log);
  ~HeadlessAlerts();

  AlertChain& Chain() { return *chain_; }
  std::size_t ChannelCount() const { return channels_.size(); }
  std::vector<AlertDispatcher::ChannelCounts> AttemptCounts() const {
    return chain_->Dispatcher().AttemptCounts();
  }

  // Logs the attempts made since the last call.
  void LogAttempts();

 private:
  std::string ReadSecret(const std::string& channel);
  void OpenSecrets(const ProfileEntries& profile);

  ServiceLog& log_;
  std::vector<AlertChannel> channels_;
  std::mutex secretsLock_;
  std::unique_ptr<SecretStore> secrets_;
  std::unique_ptr<AlertChain> chain_;
};

}  // namespace kelvoran
