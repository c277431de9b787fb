#pragma once

#include <wx/dialog.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/host_record.h"

class wxCheckBox;
class wxChoice;
class wxCheckListBox;
class wxStaticText;
class wxSizer;
class wxTextCtrl;

namespace kelvoran {

class HostRecord;
class NumberField;

// "Ping data": enters the settings of a new host or changes those of an
// existing one, and shows the live results of the host it edits. One object
// lives as long as the host list; the view sets EditRecord and EditMode before
// each modal run.
// The settings a host added with the Add command starts from.
HostRecord AddModeHost();

class CHostSettingsDialog : public wxDialog {
 public:
  enum Mode : std::int32_t { ModeAdd = 0, ModeEdit = 1 };
  static constexpr int kHelpContext = 0x20000 + 130;

  explicit CHostSettingsDialog(wxWindow* parent);

  // Owned by the caller; filled from the controls only on OK.
  HostRecord* EditRecord = nullptr;
  std::int32_t EditMode = ModeAdd;
  // Asked when OK is pressed: whether another host of the list already uses
  // the settings-file section of the entered name. The file holds one host
  // per section, so such a name is refused and the dialog stays open.
  std::function<bool(const std::string& host)> IsHostTaken;
  // The alert channels defined now, offered for the host to send to.
  std::vector<std::string> ChannelNames;
  // The other hosts of the list, offered as the host this one depends on.
  std::vector<std::string> HostNames;
  // Asked when OK is pressed: the loop of dependencies that the entered name
  // depending on the chosen host would close ("a -> b -> a"), or empty. A
  // loop is refused and the dialog stays open.
  std::function<std::string(const std::string& host, const std::string& parent)> DependencyLoop;

  int ShowModal() override;

  // Copies the controls into EditRecord, as OK does before it ends the dialog.
  void StoreSettings();
  void ShowSettings(const HostRecord& record);
  void ShowResults(const HostRecord& record);
  // Shows the live results of the host being edited; anything else is ignored.
  void RefreshResults(const HostRecord& live);
  // The record being edited while the dialog is open, or null.
  const HostRecord* OpenRecord() const;

  wxTextCtrl* HostField() const { return host_; }
  wxTextCtrl* DescriptionField() const { return description_; }
  wxTextCtrl* DestinationField() const { return destination_; }
  wxTextCtrl* MessageField() const { return message_; }
  wxCheckBox* PopupWhenOkBox() const { return popupWhenOk_; }
  wxCheckListBox* AlertChannelsList() const { return alertChannels_; }
  wxTextCtrl* DependsOnField() const { return dependsOn_; }
  // The results fields, top to bottom.
  wxTextCtrl* ResultField(std::size_t index) const { return results_.at(index); }
  NumberField* PacketSizeField() const { return packetSize_; }
  NumberField* TimeoutField() const { return timeout_; }
  NumberField* SuccessPeriodField() const { return successPeriod_; }
  NumberField* FailPeriodField() const { return failPeriod_; }
  NumberField* DelayField() const { return delay_; }
  // Probes judged, then the slow, lossy and jittery limits.
  NumberField* QualityField(std::size_t index) const { return quality_.at(index); }

 private:
  void BuildLayout();
  wxSizer* BuildConfiguration(wxWindow* parent);
  wxSizer* BuildPopupMessage(wxWindow* parent);
  wxSizer* BuildAlerts(wxWindow* parent);
  wxSizer* BuildQuality(wxWindow* parent);
  void ShowQuality(const QualityRules& rules);
  bool AcceptQuality();
  void ShowAlertChannels(const std::string& list);
  void ShowDependsOn(const std::string& parent);
  std::string ChosenParent() const;
  bool AcceptDependency();
  wxSizer* BuildResults(wxWindow* parent);
  void StartValues();
  void ClearResults();
  void OnOk(wxCommandEvent& event);
  bool AcceptHostName();
  void OnHelp(wxCommandEvent& event);
  void OnCharHook(wxKeyEvent& event);

  wxTextCtrl* host_ = nullptr;
  wxTextCtrl* description_ = nullptr;
  wxTextCtrl* destination_ = nullptr;
  wxTextCtrl* message_ = nullptr;
  wxCheckBox* popupWhenOk_ = nullptr;
  wxCheckListBox* alertChannels_ = nullptr;
  // A name typed with completion rather than a choice: a choice of a list
  // of 50,000 hosts takes GTK some 20 seconds to fill.
  wxTextCtrl* dependsOn_ = nullptr;
  // HostNames in name order, for the completion; and the name shown at
  // opening, kept though the list may not hold it (any more).
  // (name key, name) pairs.
  std::vector<std::pair<std::string, std::string>> sortedHostNames_;
  std::string dependsOnBytes_;
  wxStaticText* noChannels_ = nullptr;
  // Channels the host names that are not defined (any more): kept as they
  // are, so that defining them again brings the host's alerts back.
  std::vector<std::string> undefinedChannels_;
  NumberField* packetSize_ = nullptr;
  NumberField* timeout_ = nullptr;
  NumberField* successPeriod_ = nullptr;
  NumberField* failPeriod_ = nullptr;
  NumberField* delay_ = nullptr;
  std::array<wxTextCtrl*, 10> results_{};
  std::array<NumberField*, 4> quality_{};
  // The bytes each text field was filled from, so unchanged fields keep them.
  std::string hostBytes_, descriptionBytes_, destinationBytes_, messageBytes_;
};

}  // namespace kelvoran
