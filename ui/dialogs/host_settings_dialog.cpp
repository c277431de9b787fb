#include "ui/dialogs/host_settings_dialog.h"

#include <wx/checkbox.h>
#include <wx/checklst.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textcompleter.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <climits>

#include "alert/channel_keys.h"
#include "engine/host_record.h"
#include "engine/host_settings.h"
#include "engine/quality_watch.h"
#include "engine/result_text.h"
#include "portable/profile_text.h"
#include "ui/dialogs/dialog_buttons.h"
#include "ui/dialogs/number_field.h"
#include "ui/main_window/command_ids.h"
#include "ui/main_window/display_text.h"
#include "ui/main_window/host_row_text.h"
#include "ui/parts/art.h"
#include "ui/parts/help_request.h"

namespace kelvoran {
namespace {

// Control identifiers of the dialog, kept so that help and tests can find
// each field.
enum DialogId : int {
  IdPacketSize = 1002,
  IdDelay = 1004,
  IdFailPeriod = 1006,
  IdSuccessPeriod = 1008,
  IdTimeout = 1010,
  IdDestination = 1011,
  IdMessage = 1012,
  IdHost = 1022,
  IdDescription = 1034,
  IdPopupWhenOk = 1035,
  IdAlertChannels = 1036,
  IdDependsOn = 1037,
  IdQualityProbes = 1038,
  IdSlowAbove = 1039,
  IdLossAbove = 1040,
  IdJitterAbove = 1041,
};
constexpr int kResultIds[] = {1013, 1021, 1014, 1015, 1016, 1017, 1018, 1019, 1020, 1024};
constexpr const char* kResultLabels[] = {"Status:",
                                         "Current response time:",
                                         "Min.response time:",
                                         "Avg. response time:",
                                         "Max. response time:",
                                         "Pings sent:",
                                         "Pings received:",
                                         "Pings failed:",
                                         "Ping success rate:",
                                         "Error:"};
constexpr const char* kResultUnits[] = {"", "ms.", "ms.", "ms.", "ms.", "", "", "", "%", ""};

constexpr const char* kIntro =
    "Please specify the ping settings in this window. If you want Kelvoran to send a popup "
    "message when a host stops responding, specify a message and destination in the \"Popup "
    "message\" section. For\nmore information on setting the ping parameters, press F1 or click "
    "the Help button.";

// A titled group of labelled fields, each with an optional unit after it.
// The fields are the box's children, or with `fieldsInBox` false the
// parent's.
struct FieldGroup {
  FieldGroup(wxWindow* parent, const char* title, bool fieldsInBox = true)
      : box(new wxStaticBoxSizer(wxVERTICAL, parent, title)),
        panel(fieldsInBox ? box->GetStaticBox() : parent),
        grid(new wxFlexGridSizer(3, wxSize(8, 6))) {
    grid->AddGrowableCol(1);
    box->Add(grid, 1, wxEXPAND | wxALL, 6);
  }
  void Row(const char* label, wxWindow* field, const char* unit = "") {
    grid->Add(new wxStaticText(panel, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(field, 1, wxEXPAND);
    grid->Add(new wxStaticText(panel, wxID_ANY, unit), 0, wxALIGN_CENTER_VERTICAL);
  }

  wxStaticBoxSizer* box;
  wxWindow* panel;
  wxFlexGridSizer* grid;
};

// The settings file reads a text back with at most this many bytes.
constexpr std::size_t kStoredTextLimit = kSettingBufferSize - 1;

wxTextCtrl* TextField(wxWindow* parent, int id) {
  auto* field = new wxTextCtrl(parent, id, wxString(), wxDefaultPosition, wxSize(220, -1));
  // Characters, while the file counts bytes: StoredText cuts what is longer.
  field->SetMaxLength(kStoredTextLimit);
  return field;
}

// The bytes OK stores for a text field: without blanks at either end, and cut
// to what the settings file reads back, never inside a UTF-8 sequence.
std::string StoredText(const wxTextCtrl& field, const std::string& original) {
  std::string bytes = FromDisplay(field.GetValue(), original);
  const std::size_t first = bytes.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  bytes = bytes.substr(first, bytes.find_last_not_of(" \t") + 1 - first);
  if (bytes.size() <= kStoredTextLimit) return bytes;
  std::size_t end = kStoredTextLimit;
  while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
  return bytes.substr(0, end);
}

// The hosts whose names begin with what is typed, at most a screenful, found
// by a binary search in the sorted names: cheap for any length of list.
// Names are compared as the settings file compares them, which ignores case.
class HostNameCompleter final : public wxTextCompleterSimple {
 public:
  using KeyedNames = std::vector<std::pair<std::string, std::string>>;
  explicit HostNameCompleter(const KeyedNames& sorted) : names_(sorted) {}
  void GetCompletions(const wxString& prefix, wxArrayString& found) override {
    const std::string key = ProfileText::SectionKey(std::string(prefix.utf8_str()));
    auto name = std::lower_bound(names_.begin(), names_.end(), std::pair(key, std::string()));
    for (; name != names_.end() && found.size() < kShown && name->first.starts_with(key); ++name)
      found.push_back(ToDisplay(name->second));
  }

 private:
  static constexpr std::size_t kShown = 50;
  const KeyedNames& names_;
};

// Wide enough for every result text: a GtkEntry shows the start of a text
// longer than itself, and the end of a sentence would be cut off unseen.
int ErrorFieldWidth(const wxTextCtrl& field) {
  int widest = field.GetTextExtent(ToDisplay(ResultText(INT32_MIN, INT32_MIN))).x;
  for (std::int32_t code = ResultSuccess; code <= ResultPopupFailed; ++code) {
    const std::string text = ResultText(code, 0);
    if (!text.starts_with("Code ")) widest = std::max(widest, field.GetTextExtent(text).x);
  }
  return field.GetSizeFromTextSize(widest).x;
}

// Fills a text field and remembers the bytes it came from.
void ShowText(wxTextCtrl* field, const std::string& bytes, std::string& remembered) {
  remembered = bytes;
  field->ChangeValue(ToDisplay(bytes));
}

}  // namespace

CHostSettingsDialog::CHostSettingsDialog(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "Ping data", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE) {
  BuildLayout();
  Bind(wxEVT_BUTTON, &CHostSettingsDialog::OnOk, this, wxID_OK);
  Bind(wxEVT_BUTTON, &CHostSettingsDialog::OnHelp, this, wxID_HELP);
  Bind(wxEVT_CHAR_HOOK, &CHostSettingsDialog::OnCharHook, this);
}

void CHostSettingsDialog::BuildLayout() {
  SetIcons(AppIcons());
  auto* top = new wxBoxSizer(wxVERTICAL);
  auto* header = new wxBoxSizer(wxHORIZONTAL);
  header->Add(new wxStaticBitmap(this, wxID_ANY, AppIconBundle()), 0, wxRIGHT, 10);
  auto* intro = new wxStaticText(this, wxID_ANY, kIntro);
  intro->Wrap(FromDIP(760));
  header->Add(intro, 1);
  top->Add(header, 0, wxALL, 10);

  auto* left = new wxBoxSizer(wxVERTICAL);
  left->Add(BuildConfiguration(this), 0, wxEXPAND);
  left->Add(BuildPopupMessage(this), 0, wxEXPAND | wxTOP, 8);
  left->Add(BuildAlerts(this), 1, wxEXPAND | wxTOP, 8);
  auto* columns = new wxBoxSizer(wxHORIZONTAL);
  columns->Add(left, 1, wxEXPAND);
  auto* right = new wxBoxSizer(wxVERTICAL);
  right->Add(BuildResults(this), 0, wxEXPAND);
  right->Add(BuildQuality(this), 0, wxEXPAND | wxTOP, 8);
  columns->Add(right, 0, wxEXPAND | wxLEFT, 10);
  top->Add(columns, 1, wxEXPAND | wxLEFT | wxRIGHT, 10);

  top->Add(OkCancelHelpButtons(this), 0, wxEXPAND | wxALL, 10);
  SetSizerAndFit(top);
}

wxSizer* CHostSettingsDialog::BuildConfiguration(wxWindow* parent) {
  FieldGroup group(parent, "Configuration");
  host_ = TextField(group.panel, IdHost);
  description_ = TextField(group.panel, IdDescription);
  packetSize_ = new NumberField(group.panel, IdPacketSize, 1, 1024);
  timeout_ = new NumberField(group.panel, IdTimeout, 1, 3600);
  successPeriod_ = new NumberField(group.panel, IdSuccessPeriod, 0, 3600);
  failPeriod_ = new NumberField(group.panel, IdFailPeriod, 0, 3600);
  delay_ = new NumberField(group.panel, IdDelay, 1, 3600);
  group.Row("Host:", host_);
  group.Row("Description:", description_);
  group.Row("Packet size:", packetSize_, "bytes");
  group.Row("Ping timeout:", timeout_, "seconds");
  group.Row("Ping success period:", successPeriod_, "seconds");
  group.Row("Ping fail period:", failPeriod_, "seconds");
  group.Row("Repeat ping every", delay_, "seconds");
  dependsOn_ = TextField(group.panel, IdDependsOn);
  dependsOn_->AutoComplete(new HostNameCompleter(sortedHostNames_));
  group.Row("Depends on:", dependsOn_);
  return group.box;
}

wxSizer* CHostSettingsDialog::BuildPopupMessage(wxWindow* parent) {
  FieldGroup group(parent, "Popup message");
  destination_ = TextField(group.panel, IdDestination);
  message_ = TextField(group.panel, IdMessage);
  popupWhenOk_ =
      new wxCheckBox(group.panel, IdPopupWhenOk, "Also notify when the host is OK again");
  group.Row("Destination:", destination_);
  group.Row("Message:", message_);
  group.Row("", popupWhenOk_);
  return group.box;
}

wxSizer* CHostSettingsDialog::BuildAlerts(wxWindow* parent) {
  auto* box = new wxStaticBoxSizer(wxVERTICAL, parent, "Alerts");
  wxWindow* panel = box->GetStaticBox();
  box->Add(new wxStaticText(panel, wxID_ANY, "Send this host's alerts to:"), 0, wxLEFT | wxTOP, 6);
  alertChannels_ =
      new wxCheckListBox(panel, IdAlertChannels, wxDefaultPosition, wxSize(-1, FromDIP(64)));
  box->Add(alertChannels_, 1, wxEXPAND | wxALL, 6);
  noChannels_ = new wxStaticText(
      panel, wxID_ANY, "No alert channels are defined: View > Alert Channels... defines them.");
  box->Add(noChannels_, 0, wxLEFT | wxRIGHT | wxBOTTOM, 6);
  return box;
}

// The limits' fields take 0 for off; the dialog refuses what is out of range
// rather than keep the field's last good value unseen.
wxSizer* CHostSettingsDialog::BuildQuality(wxWindow* parent) {
  using L = QualityLimits;
  FieldGroup group(parent, "Quality alerts (0: off)");
  const int most = static_cast<int>(L::kMostMs);
  quality_ = {new NumberField(group.panel, IdQualityProbes, static_cast<int>(L::kFewestProbes),
                              static_cast<int>(L::kMostProbes)),
              new NumberField(group.panel, IdSlowAbove, 0, most),
              new NumberField(group.panel, IdLossAbove, 0, static_cast<int>(L::kMostLossPercent)),
              new NumberField(group.panel, IdJitterAbove, 0, most)};
  group.Row("Judge the last", quality_[0], "probes");
  group.Row("Slow: median round trip above", quality_[1], "ms");
  group.Row("Lossy: loss above", quality_[2], "%");
  group.Row("Jittery: jitter above", quality_[3], "ms");
  return group.box;
}

void CHostSettingsDialog::ShowQuality(const QualityRules& rules) {
  const std::uint32_t values[] = {rules.window, rules.slowMs, rules.lossPercent, rules.jitterMs};
  for (std::size_t i = 0; i < quality_.size(); ++i) quality_[i]->SetValue(values[i]);
}

bool CHostSettingsDialog::AcceptQuality() {
  using L = QualityLimits;
  const wxString ms = wxString::Format("0 (off) to %u ms", L::kMostMs);
  const wxString ranges[] = {wxString::Format("%u to %u probes", L::kFewestProbes, L::kMostProbes),
                             ms, wxString::Format("0 (off) to %u %%", L::kMostLossPercent), ms};
  for (std::size_t i = 0; i < quality_.size(); ++i) {
    NumberField& field = *quality_[i];
    // The field keeps its last good value for a text it cannot take.
    long typed = 0;
    if (field.Text()->GetValue().Strip(wxString::both).ToLong(&typed) && typed == field.GetValue())
      continue;
    wxMessageBox(wxString::Format("\"%s\" cannot be used for a quality alert: give %s.",
                                  field.Text()->GetValue(), ranges[i]),
                 kAppTitle, wxOK | wxICON_EXCLAMATION, this);
    field.Text()->SetFocus();
    return false;
  }
  return true;
}

void CHostSettingsDialog::ShowAlertChannels(const std::string& list) {
  alertChannels_->Clear();
  undefinedChannels_.clear();
  const std::vector<std::string> chosen = SplitChannelNames(list);
  for (const std::string& name : ChannelNames) {
    const int item = alertChannels_->Append(wxString::FromUTF8(name));
    alertChannels_->Check(static_cast<unsigned>(item),
                          std::find(chosen.begin(), chosen.end(), name) != chosen.end());
  }
  for (const std::string& name : chosen)
    if (std::find(ChannelNames.begin(), ChannelNames.end(), name) == ChannelNames.end())
      undefinedChannels_.push_back(name);
  noChannels_->Show(ChannelNames.empty());
  alertChannels_->Enable(!ChannelNames.empty());
  Layout();
}

wxSizer* CHostSettingsDialog::BuildResults(wxWindow* parent) {
  // wx's keyboard navigation stops at a box as soon as any of its children
  // takes focus, even one kept out of the Tab order as these read-only
  // fields are; Windows then gives the focus to the box itself, where it
  // stays unseen for one Tab before OK. Beside the box, not in it, the
  // fields leave it no stop.
  FieldGroup group(parent, "Results", false);
  for (std::size_t i = 0; i < results_.size(); ++i) {
    results_[i] = new wxTextCtrl(group.panel, kResultIds[i], wxString(), wxDefaultPosition,
                                 wxSize(i + 1 == results_.size() ? 200 : 90, -1), wxTE_READONLY);
    results_[i]->DisableFocusFromKeyboard();
    group.Row(kResultLabels[i], results_[i], kResultUnits[i]);
  }
  wxTextCtrl& error = *results_.back();
  error.SetMinSize(wxSize(ErrorFieldWidth(error), -1));
  return group.box;
}

int CHostSettingsDialog::ShowModal() {
  if (EditMode == ModeAdd) {
    StartValues();
  } else if (EditMode == ModeEdit && EditRecord) {
    ShowSettings(*EditRecord);
    ShowResults(*EditRecord);
  }
  host_->SetFocus();
  return wxDialog::ShowModal();
}

HostRecord AddModeHost() {
  HostRecord host;
  host.PacketSize = 32;
  host.Delay = 10;
  host.Timeout = 10;
  host.FailPeriod = 30;
  host.SuccessPeriod = 30;
  return host;
}

void CHostSettingsDialog::StartValues() {
  ShowText(host_, {}, hostBytes_);
  ShowText(description_, {}, descriptionBytes_);
  ShowText(destination_, {}, destinationBytes_);
  ShowText(message_, {}, messageBytes_);
  const HostRecord start = AddModeHost();
  packetSize_->SetValue(start.PacketSize);
  delay_->SetValue(start.Delay);
  timeout_->SetValue(start.Timeout);
  failPeriod_->SetValue(start.FailPeriod);
  successPeriod_->SetValue(start.SuccessPeriod);
  popupWhenOk_->SetValue(start.PopupWhenOk);
  ShowAlertChannels(start.AlertChannels);
  ShowDependsOn(start.DependsOn);
  ShowQuality(start.Quality);
  ClearResults();
}

void CHostSettingsDialog::ClearResults() {
  for (wxTextCtrl* field : results_) field->ChangeValue(wxString());
}

void CHostSettingsDialog::ShowSettings(const HostRecord& record) {
  ShowText(host_, record.Host, hostBytes_);
  ShowText(description_, record.Description, descriptionBytes_);
  // A hand-edited file may hold values outside a field's range: the field
  // shows the nearest value it accepts.
  packetSize_->SetValue(record.PacketSize);
  delay_->SetValue(record.Delay);
  timeout_->SetValue(record.Timeout);
  failPeriod_->SetValue(record.FailPeriod);
  successPeriod_->SetValue(record.SuccessPeriod);
  ShowText(destination_, record.PopupDestination, destinationBytes_);
  ShowText(message_, record.PopupMessage, messageBytes_);
  popupWhenOk_->SetValue(record.PopupWhenOk);
  ShowAlertChannels(record.AlertChannels);
  ShowDependsOn(record.DependsOn);
  ShowQuality(record.Quality);
}

void CHostSettingsDialog::ShowDependsOn(const std::string& parent) {
  sortedHostNames_.clear();
  sortedHostNames_.reserve(HostNames.size());
  for (const std::string& name : HostNames)
    sortedHostNames_.emplace_back(ProfileText::SectionKey(name), name);
  std::sort(sortedHostNames_.begin(), sortedHostNames_.end());
  dependsOnBytes_ = parent;
  dependsOn_->ChangeValue(ToDisplay(parent));
}

std::string CHostSettingsDialog::ChosenParent() const {
  return StoredText(*dependsOn_, dependsOnBytes_);
}

void CHostSettingsDialog::ShowResults(const HostRecord& record) {
  const ResultsTexts texts = DialogResultsTexts(record);
  const std::string* values[] = {&texts.status,      &texts.currentResponse, &texts.minResponse,
                                 &texts.avgResponse, &texts.maxResponse,     &texts.sent,
                                 &texts.received,    &texts.failed,          &texts.successRate,
                                 &texts.error};
  for (std::size_t i = 0; i < results_.size(); ++i) {
    const wxString text = ToDisplay(*values[i]);
    if (results_[i]->GetValue() != text) results_[i]->ChangeValue(text);
  }
}

const HostRecord* CHostSettingsDialog::OpenRecord() const {
  // The window is tested first: once the dialog has closed, EditRecord may
  // point at a record its owner has already deleted.
  return IsShown() ? EditRecord : nullptr;
}

void CHostSettingsDialog::RefreshResults(const HostRecord& live) {
  const HostRecord* editing = OpenRecord();
  if (editing && editing->HostId == live.HostId) ShowResults(live);
}

void CHostSettingsDialog::OnOk(wxCommandEvent& /*event*/) {
  if (!AcceptHostName() || !AcceptDependency() || !AcceptQuality()) return;
  StoreSettings();
  EndModal(wxID_OK);
}

bool CHostSettingsDialog::AcceptHostName() {
  if (!IsHostTaken || !IsHostTaken(FromDisplay(host_->GetValue(), hostBytes_))) return true;
  wxMessageBox(wxString::Format("The host list already holds \"%s\". Each host name can be "
                                "in the list only once.",
                                host_->GetValue().Strip(wxString::both)),
               kAppTitle, wxOK | wxICON_EXCLAMATION, this);
  host_->SetFocus();
  return false;
}

bool CHostSettingsDialog::AcceptDependency() {
  const std::string parent = ChosenParent();
  // A name the file held is kept as it was; a new one must be of the list.
  const bool listed = parent.empty() || parent == dependsOnBytes_ ||
                      std::any_of(HostNames.begin(), HostNames.end(), [&](const std::string& name) {
                        return ProfileText::SameSectionName(name, parent);
                      });
  const std::string loop =
      listed && DependencyLoop ? DependencyLoop(StoredText(*host_, hostBytes_), parent) : "";
  if (listed && loop.empty()) return true;
  wxMessageBox(listed ? "The host cannot depend on " + ToDisplay(parent) +
                            ": the hosts would depend on each other in a loop (" + ToDisplay(loop) +
                            ")."
                      : "The host cannot depend on " + ToDisplay(parent) +
                            ": there is no such host in the list.",
               kAppTitle, wxOK | wxICON_EXCLAMATION, this);
  dependsOn_->SetFocus();
  return false;
}

void CHostSettingsDialog::StoreSettings() {
  if (EditRecord) {
    HostRecord& record = *EditRecord;
    record.Host = StoredText(*host_, hostBytes_);
    record.Description = StoredText(*description_, descriptionBytes_);
    record.PacketSize = static_cast<std::uint32_t>(packetSize_->GetValue());
    record.Delay = delay_->GetValue();
    record.Timeout = timeout_->GetValue();
    record.FailPeriod = failPeriod_->GetValue();
    record.SuccessPeriod = successPeriod_->GetValue();
    record.PopupDestination = StoredText(*destination_, destinationBytes_);
    record.PopupMessage = StoredText(*message_, messageBytes_);
    record.PopupWhenOk = popupWhenOk_->GetValue();
    std::vector<std::string> channels;
    for (unsigned item = 0; item < alertChannels_->GetCount(); ++item)
      if (alertChannels_->IsChecked(item))
        channels.emplace_back(alertChannels_->GetString(item).utf8_str());
    channels.insert(channels.end(), undefinedChannels_.begin(), undefinedChannels_.end());
    record.AlertChannels = JoinChannelNames(channels);
    record.DependsOn = ChosenParent();
    record.Quality = {static_cast<std::uint32_t>(quality_[0]->GetValue()),
                      static_cast<std::uint32_t>(quality_[1]->GetValue()),
                      static_cast<std::uint32_t>(quality_[2]->GetValue()),
                      static_cast<std::uint32_t>(quality_[3]->GetValue())};
  }
}

void CHostSettingsDialog::OnHelp(wxCommandEvent& /*event*/) { RequestHelp(kHelpContext); }

void CHostSettingsDialog::OnCharHook(wxKeyEvent& event) {
  if (event.GetKeyCode() == WXK_F1 && !event.HasAnyModifiers()) {
    RequestHelp(kHelpContext);
    return;
  }
  event.Skip();
}

}  // namespace kelvoran
