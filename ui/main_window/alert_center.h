#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "alert/alert_chain.h"
#include "alert/alert_channel.h"

class wxConfigBase;
class wxWindow;

namespace kelvoran {

class SecretStore;

// The alert channels of the program: defined in the user's profile, their
// secrets in a secret store, delivered by the dispatcher, raised from the
// hosts' changes of status. Lives on the user-interface thread from start-up
// to exit; the dispatcher's threads reach it only for secrets.
class AlertCenter {
 public:
  // `journal` keeps the queue and log (the history file), or null.
  AlertCenter(wxConfigBase& profile, AlertJournal* journal, ChannelSenders senders);
  ~AlertCenter();

  AlertChain& Chain() { return *chain_; }

  const std::vector<AlertChannel>& Channels() const { return channels_; }
  std::vector<std::string> ChannelNames() const;

  // View > Alert Channels...: runs the dialog and, on OK, keeps what it ends
  // with. `renameInHosts` gets old and new names of renamed channels.
  void Edit(wxWindow* parent,
            const std::function<void(const std::map<std::string, std::string>&)>& renameInHosts);

  // The attempts made since the last call, and what the status bar should say
  // about them: a channel that fails is told once, until it delivers again.
  std::vector<AlertLogEntry> TakeNewEntries();
  std::optional<std::string> TakeNotice();
  // Channels whose last attempt failed, for the tray's tooltip.
  const std::set<std::string>& FailingChannels() const { return failing_; }

  AlertDispatcher& Dispatcher() { return chain_->Dispatcher(); }

 private:
  std::string ReadSecret(const std::string& channel);
  // The store secrets are written to now, asking once (and remembering the
  // answer) whether a file may keep them where no desktop store answers.
  SecretStore* StoreForWriting(wxWindow* parent);
  void KeepSecrets(wxWindow* parent, const struct AlertChannelsEdit& edit);
  void Track(const AlertLogEntry& entry);

  wxConfigBase& profile_;
  std::vector<AlertChannel> channels_;
  std::mutex secretsLock_;
  std::unique_ptr<SecretStore> secrets_;
  std::string noDesktopStore_;
  std::unique_ptr<AlertChain> chain_;
  std::set<std::string> failing_;
  std::vector<std::string> notices_;
};

}  // namespace kelvoran
