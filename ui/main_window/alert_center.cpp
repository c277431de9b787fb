#include "ui/main_window/alert_center.h"

#include <wx/config.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/stdpaths.h>

#include "monitor/monitor_core.h"
#include "platform/local_names.h"
#include "platform/local_time.h"
#include "platform/secret_store.h"
#include "ui/dialogs/alert_channels_dialog.h"
#include "ui/dialogs/alert_profile.h"
#include "ui/main_window/command_ids.h"

namespace kelvoran {
namespace {

// Whether the user agreed to keep secrets in a file where no desktop store
// answers; asked once.
constexpr const char* kSecretFileAgreed = "AlertSecrets/InFile";

std::string SecretFilePath() {
  wxFileName file(wxStandardPaths::Get().GetUserConfigDir(), "alert-secrets");
  file.AppendDir("Brindlecot");
  file.Mkdir(wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
  return std::string(file.GetFullPath().utf8_str());
}

// What a test alert says: the host is this computer, so that nobody takes it
// for a real outage.
AlertEvent TestEvent() {
  AlertEvent event;
  const std::string computer = ShortHostName().value_or("this computer");
  const CalendarTime now = wxDateTime::Now().GetTicks();
  const LocalMoment moment{now, static_cast<std::int32_t>(LocalUtcOffset(now))};
  event.host = computer;
  event.description = "Test alert from Kelvoran";
  event.status = "ERROR";
  event.previousStatus = "OK";
  event.error = "This is a test: no host is down.";
  event.outageStart = moment;
  event.time = moment;
  event.computer = computer;
  return event;
}

}  // namespace

AlertCenter::AlertCenter(wxConfigBase& profile, AlertJournal* journal, ChannelSenders senders)
    : profile_(profile) {
  std::vector<std::string> problems;
  channels_ = LoadAlertChannels(profile_, problems);
  for (const std::string& problem : problems) notices_.push_back(problem);
  secrets_ = OpenDesktopSecretStore(noDesktopStore_);
  if (!secrets_ && profile_.ReadBool(kSecretFileAgreed, false))
    secrets_ = OpenSecretFile(SecretFilePath());
  chain_ = std::make_unique<AlertChain>(
      senders, [this](const std::string& channel) { return ReadSecret(channel); }, journal,
      SystemAlertEnvironment());
  chain_->SetChannels(channels_);
}

AlertCenter::~AlertCenter() = default;

std::vector<std::string> AlertCenter::ChannelNames() const {
  std::vector<std::string> names;
  for (const AlertChannel& channel : channels_) names.push_back(channel.name);
  return names;
}

std::string AlertCenter::ReadSecret(const std::string& channel) {
  const std::lock_guard lock(secretsLock_);
  return secrets_ ? secrets_->Read(channel).value_or("") : std::string();
}

SecretStore* AlertCenter::StoreForWriting(wxWindow* parent) {
  if (secrets_) return secrets_.get();
  const std::string path = SecretFilePath();
  const wxString question = wxString::Format(
      "%s.\n\nKeep the passwords and tokens of alert channels in a file that only you can "
      "read?\n%s",
      wxString::FromUTF8(noDesktopStore_), wxString::FromUTF8(path));
  if (wxMessageBox(question, kAppTitle, wxYES_NO | wxICON_QUESTION, parent) != wxYES)
    return nullptr;
  profile_.Write(kSecretFileAgreed, true);
  profile_.Flush();
  const std::lock_guard lock(secretsLock_);
  secrets_ = OpenSecretFile(path);
  return secrets_.get();
}

void AlertCenter::KeepSecrets(wxWindow* parent, const AlertChannelsEdit& edit) {
  const bool anyTyped = std::any_of(edit.secrets.begin(), edit.secrets.end(),
                                    [](const auto& secret) { return !secret.second.empty(); });
  SecretStore* store = anyTyped ? StoreForWriting(parent) : secrets_.get();
  if (!store) {
    if (anyTyped)
      notices_.push_back(
          "The passwords and tokens just typed were not kept: there is no "
          "secret store to keep them in.");
    return;
  }
  const std::lock_guard lock(secretsLock_);
  for (const std::string& name : edit.removed) store->Erase(name);
  for (const auto& [name, secret] : edit.secrets) {
    std::string error;
    if (secret.empty())
      store->Erase(name);
    else if (!store->Write(name, secret, error))
      notices_.push_back("The secret of alert channel \"" + name + "\" was not kept: " + error);
  }
}

void AlertCenter::Edit(
    wxWindow* parent,
    const std::function<void(const std::map<std::string, std::string>&)>& renameInHosts) {
  const std::string storeName =
      secrets_ ? secrets_->Where() : "a file only you can read, once you agree";
  AlertChannelsDialog dialog(
      parent, channels_, storeName,
      [this](const std::string& channel) { return ReadSecret(channel); },
      [this](const AlertChannel& channel, const std::string& secret,
             std::function<void(const AttemptResult&)> done) {
        chain_->Dispatcher().SendTest(channel, secret, TestEvent(), std::move(done));
      });
  if (dialog.ShowModal() != wxID_OK) return;
  const AlertChannelsEdit& edit = dialog.Result();
  channels_ = edit.channels;
  SaveAlertChannels(profile_, channels_);
  KeepSecrets(parent, edit);
  chain_->SetChannels(channels_);
  if (!edit.renamed.empty() && renameInHosts) renameInHosts(edit.renamed);
}

void AlertCenter::Track(const AlertLogEntry& entry) {
  // Held on purpose: says nothing about whether the channel delivers.
  if (entry.outcome == AttemptOutcome::Held) return;
  if (entry.outcome == AttemptOutcome::Sent) {
    if (failing_.erase(entry.channel))
      notices_.push_back("Alert channel \"" + entry.channel + "\" delivers again.");
    return;
  }
  if (!failing_.insert(entry.channel).second) return;
  notices_.push_back("Alert channel \"" + entry.channel + "\" failed: " + entry.text +
                     (entry.givenUp ? "" : "; trying again") + " (View > Alert Log...)");
}

std::vector<AlertLogEntry> AlertCenter::TakeNewEntries() {
  std::vector<AlertLogEntry> entries = chain_->Dispatcher().TakeNewEntries();
  for (const AlertLogEntry& entry : entries) Track(entry);
  return entries;
}

std::optional<std::string> AlertCenter::TakeNotice() {
  if (notices_.empty()) return std::nullopt;
  std::string notice = notices_.front();
  notices_.erase(notices_.begin());
  return notice;
}

}  // namespace kelvoran
