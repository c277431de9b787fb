#pragma once

#include <wx/dialog.h>

#include <optional>
#include <string>

class wxCheckBox;
class wxConfigBase;
class wxFilePickerCtrl;
class wxTextCtrl;

namespace kelvoran {

class HistoryLink;
class MetricsEndpoint;
class NumberField;
class ProbeScheduler;
class RoutePlanner;

// "Options": the settings of the program itself, as opposed to those of a
// host. They live in the user's profile, beside the window placement.
class COptionsDialog : public wxDialog {
 public:
  static constexpr int kHelpContext = 0x20000 + 131;

  // The history's budget is shown only where there is a history.
  explicit COptionsDialog(wxWindow* parent, bool withHistory = false);

  NumberField* ProbesPerSecondField() const { return probesPerSecond_; }
  NumberField* HistoryMegabytesField() const { return historyMegabytes_; }
  wxCheckBox* RecordRoutesBox() const { return recordRoutes_; }
  NumberField* MetricsPortField() const { return metricsPort_; }
  wxTextCtrl* MetricsUserField() const { return metricsUser_; }
  // Empty leaves the stored hash as it is.
  wxTextCtrl* MetricsPasswordField() const { return metricsPassword_; }
  wxFilePickerCtrl* MetricsCertificatePicker() const { return metricsCertificate_; }
  wxFilePickerCtrl* MetricsKeyPicker() const { return metricsKey_; }

 private:
  void AddHistoryBudget(wxSizer& top);
  void AddMetricsAccess(wxSizer& top);

  NumberField* probesPerSecond_ = nullptr;
  NumberField* historyMegabytes_ = nullptr;
  wxCheckBox* recordRoutes_ = nullptr;
  NumberField* metricsPort_ = nullptr;
  wxTextCtrl* metricsUser_ = nullptr;
  wxTextCtrl* metricsPassword_ = nullptr;
  wxFilePickerCtrl* metricsCertificate_ = nullptr;
  wxFilePickerCtrl* metricsKey_ = nullptr;
};

// Sets the scheduler from the profile. A profile written before the option
// existed lacks it and keeps one probe per second; a hand-edited value
// outside 1..10,000 is brought into range.
void ApplyStoredOptions(const wxConfigBase& profile, ProbeScheduler& scheduler);
// Likewise the history's disk budget: 1,024 MB when the profile lacks it, a
// hand-edited value brought within 64 MB..1 TB.
// Whether the planner records routes by itself: yes unless the profile says 0.
void ApplyStoredRouteOption(const wxConfigBase& profile, RoutePlanner& routes);
void ApplyStoredHistoryBudget(const wxConfigBase& profile, HistoryLink& history);

// Serves metrics for Prometheus on 127.0.0.1 at the profile's port, with its
// basic auth and TLS when set, or stops serving when it is 0 (the default). Returns a sentence for
// the status bar: where the metrics are, or why they are not served.
std::optional<std::string> ApplyStoredMetricsPort(wxConfigBase& profile, MetricsEndpoint& metrics);

// Shows the dialog with the current values; OK stores them in the profile
// and applies them from the next tick on. `history` and `metrics` may be
// null, and `routes`. Returns a sentence for the status bar when the metrics' port or
// access changed. A password typed is stored as its bcrypt hash.
std::optional<std::string> EditOptions(wxWindow* parent, wxConfigBase& profile,
                                       ProbeScheduler& scheduler, HistoryLink* history,
                                       MetricsEndpoint* metrics, RoutePlanner* routes = nullptr);

}  // namespace kelvoran
