#include "headless/headless_monitor.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <unordered_set>

#include "delivery/system_senders.h"
#include "engine/host_mute.h"
#include "engine/host_record.h"
#include "engine/host_settings.h"
#include "headless/command_line.h"
#include "headless/headless_alerts.h"
#include "headless/plain_host_rows.h"
#include "headless/service_log.h"
#include "history/disk_budget.h"
#include "history/history_link.h"
#include "metrics/metrics_endpoint.h"
#include "monitor/monitor_core.h"
#include "platform/local_time.h"
#include "platform/service_console.h"
#include "platform/system_services.h"
#include "platform/user_profile_store.h"
#include "portable/file_lock.h"
#include "portable/option_keys.h"
#include "route/route_compare.h"

namespace kelvoran {
namespace {

// The window's timer drives the monitor once a second; its closing wait
// looks for finished probes this often.
constexpr std::chrono::milliseconds kTick{1000};
constexpr std::chrono::milliseconds kClosingPoll{100};
// The options the window's Options dialog keeps in the profile.

long long ProfileNumber(const ProfileEntries& profile, const char* key, long long fallback) {
  const auto found = profile.find(key);
  if (found == profile.end()) return fallback;
  char* end = nullptr;
  const long long number = std::strtoll(found->second.c_str(), &end, 10);
  return end == found->second.c_str() ? fallback : number;
}

std::string Plural(std::size_t count, const char* one) {
  return std::to_string(count) + " " + one + (count == 1 ? "" : "s");
}

// Everything the window's application object holds for the monitor, in the
// same order: what is made later goes first at the end (the scheduler before
// the alerts, the alerts before the history they journal into, the history
// before the folder's lock).
std::unordered_set<std::string> HostNames(HostRows& rows) {
  std::unordered_set<std::string> names;
  for (int row = 0; row < rows.RowCount(); ++row) names.insert(rows.RecordAt(row).Host);
  return names;
}

class HeadlessMonitor {
 public:
  HeadlessMonitor(LogFile& log, HeadlessMetrics metrics)
      : log_(log), metricsSettings_(std::move(metrics)) {}
  int Run();
  bool Recording() const { return history_ != nullptr; }

 private:
  void Start();
  void ServeMetrics();
  void RecordRoutes(const ProfileEntries& profile);
  ProgramFigures Figures() const;
  void LoadHostList();
  void ReloadHostList();
  void Tick();
  void Close();

  ServiceLog log_;
  HeadlessMetrics metricsSettings_;
  std::string settingsPath_;
  FileLock folderLock_;
  std::unique_ptr<HistoryLink> history_;
  std::unique_ptr<SystemSenders> senders_;
  std::unique_ptr<HeadlessAlerts> alerts_;
  std::unique_ptr<MonitorCore> core_;
  // Reads the scheduler's count of probes under way: goes before it.
  std::unique_ptr<MetricsEndpoint> metrics_;
  ProfileWitness witness_;
  PlainHostRows rows_;
  // How much later than due the last tick began.
  std::chrono::steady_clock::duration tickLag_{};
};

void HeadlessMonitor::Start() {
  StartNetworkServices();
  std::string profileProblem;
  const ProfileEntries profile = ReadUserProfile(profileProblem);
  if (!profileProblem.empty())
    log_.WriteNow("The profile could not be read (" + profileProblem + "): default options.");
  settingsPath_ = HostSettingsPath();
  folderLock_ = FileLock::Take(LockPathBeside(settingsPath_), FileLock::Slot::Folder, {});
  if (folderLock_.outcome() == FileLock::Outcome::Busy)
    log_.WriteNow(
        "Another copy of Kelvoran is using this folder: only the other copy records "
        "history.");
  else
    history_ = OpenHistory(settingsPath_);
  if (history_)
    history_->SetDiskBudget(DiskBudget::ClampMegabytes(ProfileNumber(
                                profile, kHistoryMegabytesKey, DiskBudget::kDefaultMegabytes)) *
                            DiskBudget::kMegabyte);
  senders_ = std::make_unique<SystemSenders>();
  alerts_ = std::make_unique<HeadlessAlerts>(profile, history_ ? history_->Alerts() : nullptr,
                                             senders_->Pointers(), log_);
  // No popup senders: nobody sees a popup here. The alert channels hear
  // every change as in the window.
  core_ = std::make_unique<MonitorCore>(SystemEchoProbe(), history_.get(), alerts_->Chain(),
                                        PopupSenders());
  core_->Scheduler().SetEchoService(SystemEchoService());
  core_->Scheduler().SetProbesPerTick(
      ProfileNumber(profile, kProbesPerSecondKey, ProbeScheduler::kMinProbesPerTick));
  // The log has a line per change of status, and of quality.
  core_->AddSink(&log_);
  core_->AlsoOnQuality([this](const HostRecord& host, const QualityEdge& edge) {
    log_.WriteNow(host.Host + ": " + QualityEdgeText(edge));
  });
  RecordRoutes(profile);
  core_->Attach(rows_);
  LoadHostList();
  if (metricsSettings_.address) ServeMetrics();
}

// The log names where the way to a host broke, at each outage.
void HeadlessMonitor::RecordRoutes(const ProfileEntries& profile) {
  core_->RecordRoutes(SystemRoutePlatform());
  RoutePlanner* routes = core_->Routes();
  if (!routes) return;
  routes->SetAutomatic(ProfileNumber(profile, kRecordRoutesKey, 1) != 0);
  routes->AddObserver([this](const RouteTrace& trace) {
    if (trace.Reason == RouteReason::Outage)
      log_.WriteNow(trace.Host + ": route at the outage: " + LastAnswerText(trace));
  });
}

void HeadlessMonitor::ServeMetrics() {
  metrics_ = std::make_unique<MetricsEndpoint>(rows_, core_->Scheduler().OutstandingProbes);
  metrics_->SetProgramFigures([this] { return Figures(); });
  core_->AddSink(metrics_.get());
  const auto& [address, access, warning] = metricsSettings_;
  if (!warning.empty()) log_.WriteNow(warning);
  if (const auto problem = metrics_->Serve(*address, access))
    log_.WriteNow("Metrics for Prometheus are not served (" + *problem + "); monitoring goes on.");
  else
    log_.WriteNow("Metrics for Prometheus at " + MetricsUrlText(*address, access) + ".");
}

ProgramFigures HeadlessMonitor::Figures() const {
  ProgramFigures figures;
  figures.tickLagSeconds = std::chrono::duration<double>(tickLag_).count();
  if (history_) figures.historyQueue = history_->WaitingResults();
  for (const auto& counts : alerts_->AttemptCounts())
    figures.channels.push_back({counts.channel, counts.sent, counts.failed});
  return figures;
}

void HeadlessMonitor::LoadHostList() {
  const FileResult loaded = kelvoran::LoadHostList(rows_, settingsPath_, &witness_);
  core_->Mutes().MuteList(ReadListMute(settingsPath_));
  if (!loaded.ok())
    log_.WriteNow("The host list could not be read from " + settingsPath_ + ": " + loaded.error);
  std::string line = VersionText();
  line.pop_back();
  log_.WriteNow(
      line +
      " started without a window: " + Plural(static_cast<std::size_t>(rows_.RowCount()), "host") +
      " of " + settingsPath_ + ", " + Plural(alerts_->ChannelCount(), "alert channel") +
      (history_ ? ", history in " + HistoryPathBeside(settingsPath_) : ", no history") + ".");
}

void HeadlessMonitor::ReloadHostList() {
  std::vector<std::unique_ptr<HostRecord>> loaded;
  if (const FileResult read = ReadHostList(loaded, settingsPath_, &witness_); !read.ok()) {
    log_.WriteNow("The host list could not be read again from " + settingsPath_ + ": " +
                  read.error + "; the hosts stay as they were.");
    return;
  }
  auto gone = HostNames(rows_);
  const auto counts = rows_.Reload(std::move(loaded));
  // The route planner forgets the hosts that went, as the window's Delete does.
  for (const std::string& host : HostNames(rows_)) gone.erase(host);
  if (RoutePlanner* routes = core_->Routes())
    for (const std::string& host : gone) routes->HostForgotten(host);
  core_->Dependencies().ListChanged();
  core_->Mutes().MuteList(ReadListMute(settingsPath_));
  log_.WriteNow("Host list read again: " + Plural(counts.added, "host") + " added, " +
                std::to_string(counts.removed) + " removed, " + std::to_string(counts.kept) +
                " kept.");
}

void HeadlessMonitor::Tick() {
  core_->Scheduler().ProcessTick(rows_);
  while (const auto notice = core_->Dependencies().TakeNotice()) log_.WriteNow(*notice);
  alerts_->LogAttempts();
  if (history_)
    while (const auto notice = history_->TakeNotice()) log_.WriteNow("History: " + *notice);
}

void HeadlessMonitor::Close() {
  // As the window's close: every probe started has its result applied (a
  // host may still change status and raise an alert) before the list goes.
  core_->Scheduler().SchedulingEnabled = false;
  while (core_->Scheduler().OutstandingProbes != 0) {
    Tick();
    if (core_->Scheduler().OutstandingProbes != 0) std::this_thread::sleep_for(kClosingPoll);
  }
  alerts_->LogAttempts();
}

int HeadlessMonitor::Run() {
  // Before any thread starts, so that none misses the handlers.
  ListenForServiceRequests();
  Start();
  auto nextTick = std::chrono::steady_clock::now();
  for (;;) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= nextTick) {
      tickLag_ = now - nextTick;
      Tick();
      // A tick that overran is not made up for, as a timer that missed its
      // time is not.
      nextTick += kTick;
      if (nextTick <= now) nextTick = now + kTick;
      continue;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextTick - now);
    const ServiceRequest request = WaitForServiceRequest(wait);
    if (request == ServiceRequest::Stop) break;
    if (request == ServiceRequest::Reload) ReloadHostList();
  }
  log_.WriteNow("Closing: waiting for the probes under way.");
  Close();
  return 0;
}

}  // namespace

int RunHeadless(LogFile& log, const HeadlessMetrics& metrics) {
  auto monitor = std::make_unique<HeadlessMonitor>(log, metrics);
  const int status = monitor->Run();
  const bool recording = monitor->Recording();
  // The history writes out what it holds as it goes.
  monitor.reset();
  ServiceLog(log).WriteNow(recording ? "Closed, the history written out." : "Closed.");
  return status;
}

}  // namespace kelvoran
