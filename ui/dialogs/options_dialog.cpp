#include "ui/dialogs/options_dialog.h"

#include <wx/config.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>

#include "engine/scheduler.h"
#include "history/disk_budget.h"
#include "history/history_link.h"
#include "metrics/metrics_endpoint.h"
#include "portable/option_keys.h"
#include "ui/parts/art.h"
#include "ui/dialogs/dialog_buttons.h"
#include "ui/parts/help_request.h"
#include "ui/dialogs/number_field.h"

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

constexpr const char* kMetricsPortNote =
    "0 serves none. Prometheus may then scrape http://127.0.0.1:PORT/metrics on this "
    "computer; 9765 is a port in the exporters' range.";

constexpr int kMaximumPort = 65535;

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
  metricsPort_ = new NumberField(this, IdMetricsPort, 0, kMaximumPort);
  top->Add(LabelledField(this, "Serve metrics for Prometheus on port", metricsPort_), 0,
           wxLEFT | wxRIGHT | wxTOP, 10);
  top->Add(Note(this, kMetricsPortNote), 0, wxLEFT | wxRIGHT | wxTOP, 10);
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

void ApplyStoredOptions(const wxConfigBase& profile, ProbeScheduler& scheduler) {
  scheduler.SetProbesPerTick(
      profile.ReadLong(kProbesPerSecondKey, ProbeScheduler::kMinProbesPerTick));
}

void ApplyStoredHistoryBudget(const wxConfigBase& profile, HistoryLink& history) {
  history.SetDiskBudget(StoredHistoryMegabytes(profile) * DiskBudget::kMegabyte);
}

std::optional<std::string> ApplyStoredMetricsPort(const wxConfigBase& profile,
                                                  MetricsEndpoint& metrics) {
  const long port = StoredMetricsPort(profile);
  if (port == 0) {
    if (!metrics.Serving()) return std::nullopt;
    metrics.StopServing();
    return "Metrics for Prometheus are no longer served.";
  }
  const ListenAddress address{kDefaultListenAddress, static_cast<std::uint16_t>(port)};
  if (const auto problem = metrics.Serve(address))
    return "Metrics for Prometheus are not served: " + *problem + ".";
  return "Metrics for Prometheus at http://" + ListenAddressText(address) + "/metrics.";
}

std::optional<std::string> EditOptions(wxWindow* parent, wxConfigBase& profile,
                                       ProbeScheduler& scheduler, HistoryLink* history,
                                       MetricsEndpoint* metrics) {
  COptionsDialog dialog(parent, history != nullptr);
  dialog.ProbesPerSecondField()->SetValue(scheduler.ProbesPerTick());
  if (history) dialog.HistoryMegabytesField()->SetValue(StoredHistoryMegabytes(profile));
  const long metricsPort = StoredMetricsPort(profile);
  dialog.MetricsPortField()->SetValue(static_cast<int>(metricsPort));
  dialog.ProbesPerSecondField()->Text()->SetFocus();
  if (dialog.ShowModal() != wxID_OK) return std::nullopt;
  const int probesPerSecond = dialog.ProbesPerSecondField()->GetValue();
  profile.Write(kProbesPerSecondKey, static_cast<long>(probesPerSecond));
  if (history)
    profile.Write(kHistoryMegabytesKey,
                  static_cast<long>(dialog.HistoryMegabytesField()->GetValue()));
  profile.Write(kMetricsPortKey, static_cast<long>(dialog.MetricsPortField()->GetValue()));
  profile.Flush();
  scheduler.SetProbesPerTick(probesPerSecond);
  if (history) ApplyStoredHistoryBudget(profile, *history);
  if (!metrics || StoredMetricsPort(profile) == metricsPort) return std::nullopt;
  return ApplyStoredMetricsPort(profile, *metrics);
}

}  // namespace kelvoran
