#include "ui/dialogs/options_dialog.h"

#include <wx/checkbox.h>
#include <wx/config.h>
#include <wx/filepicker.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>

#include "engine/scheduler.h"
#include "history/disk_budget.h"
#include "history/history_link.h"
#include "metrics/metrics_endpoint.h"
#include "metrics/metrics_server.h"
#include "metrics/password_check.h"
#include "portable/option_keys.h"
#include "route/route_planner.h"
#include "ui/dialogs/dialog_buttons.h"
#include "ui/dialogs/number_field.h"
#include "ui/parts/art.h"
#include "ui/parts/help_request.h"

namespace kelvoran {
namespace {

constexpr int IdProbesPerSecond = 1101;
constexpr int IdHistoryMegabytes = 1102;
constexpr int IdMetricsPort = 1103;

constexpr const char* kProbesPerSecondNote =
    "At one probe per second a list of N hosts is served about once every N seconds, "
    "whatever their repeat times. Raise it when the list is longer than the hosts' repeat "
    "time in seconds.";

constexpr const char* kHistoryBudgetNote =
    "The newest results are kept as they come; the oldest go first when the history "
    "outgrows this size, though never those of the last 24 hours. Summaries and changes of "
    "status are kept longer.";

constexpr const char* kRecordRoutesNote =
    "A route is a few dozen echoes with growing time-to-live, one host at a time, a few "
    "seconds apart. \"Trace route\" in a host's menu works either way.";

constexpr const char* kMetricsPortNote =
    "0 serves none. Prometheus may then scrape http://127.0.0.1:PORT/metrics on this "
    "computer; 9765 is a port in the exporters' range.";

constexpr const char* kMetricsAccessNote =
    "With a user name, Prometheus must give it and the password (basic_auth); only the "
    "password's bcrypt hash is stored. With a certificate and key (PEM), it scrapes https://.";

constexpr int kMaximumPort = 65535;

// A bcrypt hash is full of '$': read as written, not with the toolkit's
// expansion of environment variables.
MetricsAccess StoredMetricsAccess(wxConfigBase& profile) {
  const bool expanding = profile.IsExpandingEnvVars();
  profile.SetExpandEnvVars(false);
  const auto text = [&](const char* key) { return profile.Read(key, "").utf8_string(); };
  MetricsAccess access{text(kMetricsUserKey), text(kMetricsPasswordHashKey),
                       text(kMetricsTlsCertificateKey), text(kMetricsTlsKeyKey)};
  profile.SetExpandEnvVars(expanding);
  return access;
}

// Profiles that never set a key keep lacking it.
void WriteWhenSet(wxConfigBase& profile, const char* key, const std::string& value) {
  if (!value.empty())
    profile.Write(key, wxString::FromUTF8(value));
  else if (profile.HasEntry(key))
    profile.DeleteEntry(key, false);
}

void StoreMetricsAccess(wxConfigBase& profile, const MetricsAccess& access) {
  WriteWhenSet(profile, kMetricsUserKey, access.user);
  WriteWhenSet(profile, kMetricsPasswordHashKey, access.passwordHash);
  WriteWhenSet(profile, kMetricsTlsCertificateKey, access.tlsCertificateFile);
  WriteWhenSet(profile, kMetricsTlsKeyKey, access.tlsKeyFile);
}

// What the dialog's fields ask for; `stored` gives the hash when no
// password was typed. No user name, no password.
MetricsAccess DialogMetricsAccess(const COptionsDialog& dialog, const MetricsAccess& stored) {
  MetricsAccess access;
  access.user = dialog.MetricsUserField()->GetValue().utf8_string();
  const std::string password = dialog.MetricsPasswordField()->GetValue().utf8_string();
  if (!access.user.empty())
    access.passwordHash =
        password.empty() ? stored.passwordHash : BcryptHash(password).value_or(std::string());
  access.tlsCertificateFile = dialog.MetricsCertificatePicker()->GetPath().utf8_string();
  access.tlsKeyFile = dialog.MetricsKeyPicker()->GetPath().utf8_string();
  return access;
}

long StoredMetricsPort(const wxConfigBase& profile) {
  const long port = profile.ReadLong(kMetricsPortKey, 0);
  return port < 0 || port > kMaximumPort ? 0 : port;
}

long StoredHistoryMegabytes(const wxConfigBase& profile) {
  return static_cast<long>(DiskBudget::ClampMegabytes(
      profile.ReadLong(kHistoryMegabytesKey, DiskBudget::kDefaultMegabytes)));
}

wxBoxSizer* LabelledField(wxWindow* parent, const char* label, NumberField* field,
                          const char* unit = nullptr) {
  auto* row = new wxBoxSizer(wxHORIZONTAL);
  row->Add(new wxStaticText(parent, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
  row->Add(field);
  if (unit)
    row->Add(new wxStaticText(parent, wxID_ANY, unit), 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 8);
  return row;
}

wxStaticText* Note(wxWindow* parent, const char* text) {
  auto* note = new wxStaticText(parent, wxID_ANY, text);
  note->Wrap(parent->FromDIP(360));
  return note;
}

}  // namespace

COptionsDialog::COptionsDialog(wxWindow* parent, bool withHistory)
    : wxDialog(parent, wxID_ANY, "Options", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE) {
  SetIcons(AppIcons());
  probesPerSecond_ = new NumberField(this, IdProbesPerSecond, ProbeScheduler::kMinProbesPerTick,
                                     ProbeScheduler::kMaxProbesPerTick);
  auto* top = new wxBoxSizer(wxVERTICAL);
  top->Add(LabelledField(this, "Probes started per second:", probesPerSecond_), 0, wxALL, 10);
  top->Add(Note(this, kProbesPerSecondNote), 0, wxLEFT | wxRIGHT, 10);
  if (withHistory) AddHistoryBudget(*top);
  recordRoutes_ = new wxCheckBox(
      this, wxID_ANY, "Record each host's route: hourly while it is OK, and when it goes down");
  top->Add(recordRoutes_, 0, wxLEFT | wxRIGHT | wxTOP, 10);
  top->Add(Note(this, kRecordRoutesNote), 0, wxLEFT | wxRIGHT | wxTOP, 10);
  metricsPort_ = new NumberField(this, IdMetricsPort, 0, kMaximumPort);
  top->Add(LabelledField(this, "Serve metrics for Prometheus on port", metricsPort_), 0,
           wxLEFT | wxRIGHT | wxTOP, 10);
  top->Add(Note(this, kMetricsPortNote), 0, wxLEFT | wxRIGHT | wxTOP, 10);
  AddMetricsAccess(*top);
  top->Add(OkCancelHelpButtons(this), 0, wxEXPAND | wxALL, 10);
  SetSizerAndFit(top);

  Bind(
      wxEVT_BUTTON, [](wxCommandEvent&) { RequestHelp(kHelpContext); }, wxID_HELP);
  AnswerHelpKey(*this, kHelpContext);
}

void COptionsDialog::AddHistoryBudget(wxSizer& top) {
  historyMegabytes_ =
      new NumberField(this, IdHistoryMegabytes, static_cast<int>(DiskBudget::kMinimumMegabytes),
                      static_cast<int>(DiskBudget::kMaximumMegabytes));
  top.Add(LabelledField(this, "History may use up to", historyMegabytes_, "MB"), 0,
          wxLEFT | wxRIGHT | wxTOP, 10);
  top.Add(Note(this, kHistoryBudgetNote), 0, wxLEFT | wxRIGHT | wxTOP, 10);
}

void COptionsDialog::AddMetricsAccess(wxSizer& top) {
  metricsUser_ = new wxTextCtrl(this, wxID_ANY);
  metricsPassword_ =
      new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxTE_PASSWORD);
  const long pickerStyle = wxFLP_OPEN | wxFLP_FILE_MUST_EXIST | wxFLP_USE_TEXTCTRL;
  metricsCertificate_ = new wxFilePickerCtrl(this, wxID_ANY, "", "Certificate (PEM)",
                                             "PEM files (*.pem;*.crt)|*.pem;*.crt|All files|*",
                                             wxDefaultPosition, wxDefaultSize, pickerStyle);
  metricsKey_ = new wxFilePickerCtrl(this, wxID_ANY, "", "Private key (PEM)",
                                     "PEM files (*.pem;*.key)|*.pem;*.key|All files|*",
                                     wxDefaultPosition, wxDefaultSize, pickerStyle);
  // What this build cannot do is not offered (the Windows build: no TLS in
  // its HTTP server).
  metricsUser_->Enable(BcryptBuiltIn());
  metricsPassword_->Enable(BcryptBuiltIn());
  metricsCertificate_->Enable(MetricsServer::TlsBuiltIn());
  metricsKey_->Enable(MetricsServer::TlsBuiltIn());
  auto* grid = new wxFlexGridSizer(2, 6, 8);
  grid->AddGrowableCol(1);
  const auto add = [&](const char* label, wxWindow* field) {
    grid->Add(new wxStaticText(this, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(field, 1, wxEXPAND);
  };
  add("Metrics user name:", metricsUser_);
  add("Password:", metricsPassword_);
  add("TLS certificate:", metricsCertificate_);
  add("TLS key:", metricsKey_);
  top.Add(grid, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 10);
  top.Add(Note(this, kMetricsAccessNote), 0, wxLEFT | wxRIGHT | wxTOP, 10);
}

void ApplyStoredOptions(const wxConfigBase& profile, ProbeScheduler& scheduler) {
  scheduler.SetProbesPerTick(
      profile.ReadLong(kProbesPerSecondKey, ProbeScheduler::kMinProbesPerTick));
}

void ApplyStoredRouteOption(const wxConfigBase& profile, RoutePlanner& routes) {
  routes.SetAutomatic(profile.ReadLong(kRecordRoutesKey, 1) != 0);
}

void ApplyStoredHistoryBudget(const wxConfigBase& profile, HistoryLink& history) {
  history.SetDiskBudget(StoredHistoryMegabytes(profile) * DiskBudget::kMegabyte);
}

std::optional<std::string> ApplyStoredMetricsPort(wxConfigBase& profile, MetricsEndpoint& metrics) {
  const long port = StoredMetricsPort(profile);
  if (port == 0) {
    if (!metrics.Serving()) return std::nullopt;
    metrics.StopServing();
    return "Metrics for Prometheus are no longer served.";
  }
  const ListenAddress address{kDefaultListenAddress, static_cast<std::uint16_t>(port)};
  const MetricsAccess access = StoredMetricsAccess(profile);
  if (const auto problem = metrics.Serve(address, access))
    return "Metrics for Prometheus are not served: " + *problem + ".";
  return "Metrics for Prometheus at " + MetricsUrlText(address, access) + ".";
}

std::optional<std::string> EditOptions(wxWindow* parent, wxConfigBase& profile,
                                       ProbeScheduler& scheduler, HistoryLink* history,
                                       MetricsEndpoint* metrics, RoutePlanner* routes) {
  COptionsDialog dialog(parent, history != nullptr);
  dialog.RecordRoutesBox()->SetValue(profile.ReadLong(kRecordRoutesKey, 1) != 0);
  dialog.ProbesPerSecondField()->SetValue(scheduler.ProbesPerTick());
  if (history) dialog.HistoryMegabytesField()->SetValue(StoredHistoryMegabytes(profile));
  const long metricsPort = StoredMetricsPort(profile);
  dialog.MetricsPortField()->SetValue(static_cast<int>(metricsPort));
  const MetricsAccess access = StoredMetricsAccess(profile);
  dialog.MetricsUserField()->SetValue(wxString::FromUTF8(access.user));
  if (!access.passwordHash.empty()) dialog.MetricsPasswordField()->SetHint("(stored)");
  dialog.MetricsCertificatePicker()->SetPath(wxString::FromUTF8(access.tlsCertificateFile));
  dialog.MetricsKeyPicker()->SetPath(wxString::FromUTF8(access.tlsKeyFile));
  dialog.ProbesPerSecondField()->Text()->SetFocus();
  if (dialog.ShowModal() != wxID_OK) return std::nullopt;
  const int probesPerSecond = dialog.ProbesPerSecondField()->GetValue();
  profile.Write(kProbesPerSecondKey, static_cast<long>(probesPerSecond));
  if (history)
    profile.Write(kHistoryMegabytesKey,
                  static_cast<long>(dialog.HistoryMegabytesField()->GetValue()));
  profile.Write(kMetricsPortKey, static_cast<long>(dialog.MetricsPortField()->GetValue()));
  profile.Write(kRecordRoutesKey, dialog.RecordRoutesBox()->GetValue() ? 1L : 0L);
  const MetricsAccess newAccess = DialogMetricsAccess(dialog, access);
  StoreMetricsAccess(profile, newAccess);
  profile.Flush();
  scheduler.SetProbesPerTick(probesPerSecond);
  if (history) ApplyStoredHistoryBudget(profile, *history);
  if (routes) ApplyStoredRouteOption(profile, *routes);
  if (!metrics || (StoredMetricsPort(profile) == metricsPort && newAccess == access))
    return std::nullopt;
  return ApplyStoredMetricsPort(profile, *metrics);
}

}  // namespace kelvoran
