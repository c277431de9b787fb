// The alert channels' dialogs on a real display: the channel list edited as a
// user edits it, secrets kept out of the profile, a host's choice of channels.
#include <gtest/gtest.h>
#include <wx/checkbox.h>
#include <wx/checklst.h>
#include <wx/fileconf.h>
#include <wx/listbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "engine/host_record.h"
#include "tests/settings/temp_dir.h"
#include "tests/ui/modal_run.h"
#include "ui/dialogs/alert_channels_dialog.h"
#include "ui/dialogs/alert_profile.h"
#include "ui/dialogs/host_settings_dialog.h"
#include "ui/history/alert_log_window.h"

namespace kelvoran {
namespace {

AlertChannel StoredMail() {
  AlertChannel mail;
  mail.name = "Mail";
  mail.server = "127.0.0.1";
  mail.recipients = {"ops@example.org"};
  return mail;
}

// Refuses the box that says why a name cannot be used, keeping its text.
testing::ExpectDialog<wxMessageDialog> Refusal(wxString& message) {
  return testing::ExpectDialog<wxMessageDialog>([&message](wxMessageDialog& box) {
    message = box.GetMessage();
    return static_cast<int>(wxID_OK);
  });
}

// Add a webhook, rename the stored mail channel, send a test: what OK hands
// over carries every secret typed, a rename takes its secret along, and no
// name is taken twice.
TEST(AlertChannels, TheDialogHandsOverChannelsSecretsAndRenames) {
  std::vector<std::pair<std::string, std::string>> tested;
  TestAlertSender sender = [&](const AlertChannel& channel, const std::string& secret,
                               std::function<void(const AttemptResult&)> done) {
    tested.emplace_back(channel.name, secret);
    std::thread([done] { done({AttemptOutcome::Sent, "250 OK"}); }).detach();
  };
  AlertChannelsDialog dialog(
      nullptr, {StoredMail()}, "the test's store",
      [](const std::string& name) { return name == "Mail" ? "old secret" : ""; }, sender);
  dialog.Show();
  EXPECT_EQ(dialog.NameField()->GetValue(), "Mail");

  dialog.AddChannel(ChannelKind::Webhook);
  EXPECT_EQ(dialog.NameField()->GetValue(), "Webhook");
  EXPECT_NE(dialog.Field("Webhook/Body:")->GetValue().Find("{host}"), wxNOT_FOUND)
      << "starts from the generic JSON body";
  dialog.NameField()->SetValue("Mail");
  wxString message;
  wxTEST_DIALOG(EXPECT_FALSE(dialog.ShowChannel(0)), Refusal(message));
  EXPECT_NE(message.Find("already a channel named \"Mail\""), wxNOT_FOUND) << message;
  dialog.NameField()->SetValue("Chat");
  dialog.Field("Webhook/URL:")->SetValue("https://127.0.0.1:8443/hook");
  dialog.Field("Webhook/Token:")->SetValue("token 1");
  dialog.SendTest();
  for (int i = 0; i < 200 && dialog.TestOutcome()->GetLabel().StartsWith("Sending"); ++i)
    testing::PumpEvents(std::chrono::milliseconds(10));
  EXPECT_EQ(dialog.TestOutcome()->GetLabel(), "Sent: 250 OK");

  ASSERT_TRUE(dialog.ShowChannel(0));
  dialog.NameField()->SetValue("On-call mail");
  dialog.SendTest();
  dialog.Field("Quiet hours:")->SetValue("nights 22:00-07:00");
  wxTEST_DIALOG(EXPECT_FALSE(dialog.Accept()), Refusal(message));
  EXPECT_NE(message.Find("\"nights\" is not a day"), wxNOT_FOUND) << message;
  dialog.Field("Quiet hours:")->SetValue("sun-thu 22:00-7:00");
  auto* remind = dynamic_cast<wxCheckBox*>(wxWindow::FindWindowByLabel("Repeat every", &dialog));
  ASSERT_TRUE(remind);
  remind->SetValue(true);
  ASSERT_TRUE(dialog.Accept());
  const AlertChannelsEdit& edit = dialog.Result();
  ASSERT_EQ(edit.channels.size(), 2u);
  EXPECT_EQ(edit.channels[0].name, "On-call mail");
  EXPECT_EQ(edit.channels[0].quietHours.Text(), "Sun-Thu 22:00-07:00");
  EXPECT_EQ(edit.channels[0].reminderMinutes, 30);
  EXPECT_EQ(edit.channels[1].reminderMinutes, 0) << "no reminders unless asked for";
  EXPECT_EQ(edit.channels[1].url, "https://127.0.0.1:8443/hook");
  EXPECT_EQ(edit.secrets, (std::map<std::string, std::string>{{"Chat", "token 1"},
                                                              {"On-call mail", "old secret"}}));
  EXPECT_EQ(edit.renamed, (std::map<std::string, std::string>{{"Mail", "On-call mail"}}));
  EXPECT_EQ(edit.removed, std::vector<std::string>{"Mail"});
  EXPECT_EQ(tested, (std::vector<std::pair<std::string, std::string>>{
                        {"Chat", "token 1"}, {"On-call mail", "old secret"}}))
      << "the test uses the settings and secret as they stand";
  testing::PumpEvents(std::chrono::milliseconds(50));
  dialog.Destroy();
}

// Templates hold "$" and line breaks of their own, which wx's profile would
// otherwise expand or lose; the secret is not among the keys.
TEST(AlertChannels, TheProfileKeepsTemplatesAsWritten) {
  testing::TempDir dir;
  const std::string file = dir.File("profile.conf");
  AlertChannel program;
  program.name = "Ticket";
  program.kind = ChannelKind::Program;
  program.program = "/usr/local/bin/ticket";
  program.arguments = {"$HOME", "%PATH%", "{host}\nsecond line", " padded "};
  {
    wxFileConfig profile("t", "t", file, wxString(), wxCONFIG_USE_LOCAL_FILE);
    SaveAlertChannels(profile, {StoredMail(), program});
  }
  wxFileConfig profile("t", "t", file, wxString(), wxCONFIG_USE_LOCAL_FILE);
  std::vector<std::string> problems;
  const auto loaded = LoadAlertChannels(profile, problems);
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(loaded[1].arguments, program.arguments);
  EXPECT_EQ(loaded[0].recipients, StoredMail().recipients);
}

// A host names channels by name: unchecking keeps the rest, and a name no
// longer defined is kept, so defining it again brings the alerts back.
TEST(AlertChannels, AHostKeepsTheChannelsItNamesThatAreNotDefined) {
  CHostSettingsDialog dialog(nullptr);
  HostRecord host;
  host.Host = "gateway";
  host.AlertChannels = "Gone,Chat";
  dialog.ChannelNames = {"Mail", "Chat"};
  dialog.EditRecord = &host;
  dialog.ShowSettings(host);
  wxCheckListBox& list = *dialog.AlertChannelsList();
  ASSERT_EQ(list.GetCount(), 2u);
  EXPECT_FALSE(list.IsChecked(0));
  EXPECT_TRUE(list.IsChecked(1));
  list.Check(0);
  dialog.StoreSettings();
  EXPECT_EQ(host.AlertChannels, "Mail,Chat,Gone");
  dialog.Destroy();
}

// Where an outage's alerts stand, from its attempts newest first: the newest
// attempt of each channel and event counts.
TEST(AlertChannels, AnOutageSaysWhatBecameOfItsAlerts) {
  const auto attempt = [](const char* channel, AlertKind kind, AttemptOutcome outcome,
                          bool givenUp = false) {
    AlertLogEntry entry;
    entry.channel = channel;
    entry.kind = kind;
    entry.outcome = outcome;
    entry.givenUp = givenUp;
    return entry;
  };
  const AlertKind down = AlertKind::Down, ok = AlertKind::OkAgain;
  EXPECT_EQ(OutageAlertsText({attempt("Mail", ok, AttemptOutcome::Sent),
                              attempt("Chat", down, AttemptOutcome::Failed),
                              attempt("Mail", down, AttemptOutcome::Sent),
                              attempt("Chat", down, AttemptOutcome::Failed),
                              attempt("Pager", down, AttemptOutcome::Rejected, true)}),
            "Pager given up, Mail sent, Chat trying again, Mail (OK again) sent");
  EXPECT_EQ(OutageAlertsText({}), "");
}

// A quality alert raised in the second an outage began is not that outage's.
TEST(AlertChannels, AnOutageIsNotToldAQualityAlertOfItsSecond) {
  HistoryQueries queries;
  queries.alertLog = [](HistoryTime, HistoryTime, const AlertLogFilter&) {
    std::vector<AlertLogEntry> entries(2);
    for (AlertLogEntry& entry : entries) {
      entry.channel = "Mail";
      entry.host = "gw";
      entry.outageStart.utc = 100;
    }
    entries[1].kind = AlertKind::Lossy;
    entries[1].outcome = AttemptOutcome::Failed;
    return std::optional(entries);
  };
  const OutageAlerts texts = ReadOutageAlerts(queries, 0, nullptr, std::nullopt);
  EXPECT_EQ(texts, (OutageAlerts{{{"gw", 100}, "Mail sent"}}));
}

}  // namespace
}  // namespace kelvoran
