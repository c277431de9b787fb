#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "alert/alert_journal.h"
#include "engine/quality_watch.h"
#include "engine/result_sink.h"
#include "history/history_queries.h"

namespace kelvoran {

// What the program's windows use of the history: it hears every applied
// result from the scheduler, follows renames and tells what became of
// recording. A build without SQLite has no history: OpenHistory gives null.
class HistoryLink : public ResultSink {
 public:
  // The settings dialog changed a host's name: its history goes with it.
  virtual void HostRenamed(const std::string& from, const std::string& to) = 0;
  // The user deleted the host together with its history: its results,
  // summaries and changes of status go; the alert log keeps what was sent.
  // A result under the same name afterwards starts a history afresh.
  virtual void HostForgotten(const std::string& /*host*/) {}
  // A quality rule of the host was raised or came back to normal
  // (QualityWatch's observer); the host's QualityFlags are already changed.
  virtual void QualityChanged(const HostRecord& /*host*/, const QualityEdge& /*edge*/) {}
  // A path to a host was recorded (the path planner's observer), on the
  // thread that runs the tick.
  virtual void RouteRecorded(const RouteTrace& /*trace*/) {}
  // A message for the status bar, once for each thing worth telling (the
  // file is used by another copy, was damaged, cannot be written, can again).
  virtual std::optional<std::string> TakeNotice() = 0;
  // What the history windows read; empty answers while there is no file to
  // read (another copy holds it).
  virtual HistoryQueries Queries() = 0;
  // Keeps the alert queue and log in the history file, for AlertDispatcher;
  // null when they are kept in memory only.
  virtual AlertJournal* Alerts() { return nullptr; }
  // How many bytes the history file may take; it is brought within them by
  // dropping its oldest results soon after.
  virtual void SetDiskBudget(std::int64_t /*bytes*/) {}
  // Results handed over and not yet written: grows while the file cannot
  // keep up or cannot be written.
  virtual std::size_t WaitingResults() const { return 0; }
};

// The history file of a host list: beside its settings file, same name with
// the extension .HISTORY.
std::string HistoryPathBeside(const std::string& settingsPath);

// Starts recording into the history beside the settings file; null when the
// program was built without history.
std::unique_ptr<HistoryLink> OpenHistory(const std::string& settingsPath);

}  // namespace kelvoran
