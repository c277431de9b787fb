#pragma once

#include <wx/dialog.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "alert/alert_channel.h"
#include "alert/dispatch_queue.h"

class wxButton;
class wxCheckBox;
class wxChoice;
class wxFlexGridSizer;
class wxListBox;
class wxSimplebook;
class wxStaticText;
class wxTextCtrl;

namespace kelvoran {

class NumberField;

// Sends one test alert with the settings and secret as they stand in the
// dialog; `done` may be called on any thread.
using TestAlertSender = std::function<void(const AlertChannel& channel, const std::string& secret,
                                           std::function<void(const AttemptResult&)> done)>;

// What the dialog ends with: the channels, and the secrets typed into it
// (only those that changed; an empty one removes the stored secret).
struct AlertChannelsEdit {
  std::vector<AlertChannel> channels;
  std::map<std::string, std::string> secrets;
  // Old name to new name, for the hosts that name a renamed channel.
  std::map<std::string, std::string> renamed;
  std::vector<std::string> removed;
};

// View > Alert Channels...: defines the channels hosts send their alerts to.
class AlertChannelsDialog : public wxDialog {
 public:
  AlertChannelsDialog(wxWindow* parent, std::vector<AlertChannel> channels,
                      std::string secretStoreName,
                      std::function<std::string(const std::string&)> storedSecret,
                      TestAlertSender sendTest);
  ~AlertChannelsDialog() override;

  // Valid after OK.
  const AlertChannelsEdit& Result() const { return result_; }

  // For tests and help: the list and the fields of the shown channel.
  wxListBox* List() const { return list_; }
  wxTextCtrl* NameField() const { return name_; }
  wxChoice* KindChoice() const { return kind_; }
  wxButton* TestButton() const { return test_; }
  wxStaticText* TestOutcome() const { return testOutcome_; }
  // Adds a channel of the kind, as the Add menu does.
  void AddChannel(ChannelKind kind);
  // Shows the channel at `index` of the list, as a click on it does; false
  // when the shown one's name cannot be used (a box says why).
  bool ShowChannel(int index);
  // What OK does before the dialog ends: false, with a box, when the shown
  // channel's name cannot be used.
  bool Accept();
  // What the test button does.
  void SendTest();
  // The shown channel's fields by their labels' text, e.g. "Server:".
  wxTextCtrl* Field(const std::string& label) const;

 private:
  struct Fields;
  struct Entry {
    AlertChannel channel;
    std::string originalName;
    std::optional<std::string> typedSecret;
  };

  void BuildLayout();
  // Quiet hours and reminders, under the common fields.
  void BuildTiming(wxWindow* parent, wxFlexGridSizer* grid);
  void EnableReminderFields();
  wxSizer* BuildCommon(wxWindow* parent);
  void BuildPages();
  void ShowEntry(int index);
  // Copies the shown fields into their entry; false (with a box) when the
  // name cannot be used.
  bool KeepShown();
  void OnAdd();
  void OnRemove();
  void OnPreset();
  std::string SecretOf(const Entry& entry) const;

  std::vector<Entry> entries_;
  std::vector<std::string> removed_;
  int shown_ = -1;
  std::string storeName_;
  std::function<std::string(const std::string&)> storedSecret_;
  TestAlertSender sendTest_;
  AlertChannelsEdit result_;
  // Cleared when the dialog goes, so a test's late answer finds nothing.
  std::shared_ptr<AlertChannelsDialog*> self_;

  wxListBox* list_ = nullptr;
  wxTextCtrl* name_ = nullptr;
  wxChoice* kind_ = nullptr;
  wxCheckBox* alsoWhenOk_ = nullptr;
  NumberField* timeLimit_ = nullptr;
  wxTextCtrl* quietHours_ = nullptr;
  wxCheckBox* sendHeldLater_ = nullptr;
  wxCheckBox* remind_ = nullptr;
  NumberField* reminderMinutes_ = nullptr;
  NumberField* mostReminders_ = nullptr;
  wxSimplebook* pages_ = nullptr;
  wxButton* test_ = nullptr;
  wxStaticText* testOutcome_ = nullptr;
  std::unique_ptr<Fields> fields_;
};

}  // namespace kelvoran
