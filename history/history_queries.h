#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "alert/alert_journal.h"
#include "history/history_types.h"

namespace kelvoran {

// What one query found; nothing when the history could not be read (there
// was not memory enough for the answer), as against an empty answer.
template <class Row>
using HistoryAnswer = std::optional<std::vector<Row>>;

// What the history windows ask of the recorded history. Both answers come
// from the recorder's own connection, so a window never holds the file.
struct HistoryQueries {
  // The host's results in [from, to), oldest first.
  std::function<HistoryAnswer<HistorySample>(const std::string& host, HistoryTime from,
                                             HistoryTime to)>
      samples;
  // The changes in [from, to), newest first; of one host when `host` is given.
  std::function<HistoryAnswer<HistoryChange>(HistoryTime from, HistoryTime to,
                                             const std::string* host)>
      changes;
  // The calendar clock.
  std::function<HistoryTime()> now;
  // The host's summaries over `span` (5 minutes or an hour) starting in
  // [from, to), oldest first; empty where none are kept.
  std::function<HistoryAnswer<HistorySummary>(const std::string& host, HistoryTime span,
                                              HistoryTime from, HistoryTime to)>
      summaries = {};
  // The alert attempts in [from, to), newest first, as the filter chooses;
  // empty where no alert log is read.
  std::function<HistoryAnswer<AlertLogEntry>(HistoryTime from, HistoryTime to,
                                             const AlertLogFilter& filter)>
      alertLog = {};
  // The newest `limit` of the changes `changes` finds, and how many it finds,
  // for a long range read a page at a time.
  std::function<HistoryAnswer<HistoryChange>(HistoryTime from, HistoryTime to,
                                             const std::string* host, std::int64_t limit)>
      newestChanges = {};
  std::function<std::optional<std::int64_t>(HistoryTime from, HistoryTime to,
                                            const std::string* host)>
      changeCount = {};
  // The names of the hosts with changes in [from, to), in name order.
  std::function<HistoryAnswer<std::string>(HistoryTime from, HistoryTime to)> changedHosts = {};
  // The changes of quality alerts in [from, to), newest first, before and
  // after being QualityFlags; empty where none are read.
  std::function<HistoryAnswer<HistoryChange>(HistoryTime from, HistoryTime to,
                                             const std::string* host)>
      qualityChanges = {};
  // The paths recorded in [from, to), newest first, hops in order; of one
  // host when `host` is given. Empty where none are read.
  std::function<HistoryAnswer<RouteTrace>(HistoryTime from, HistoryTime to,
                                          const std::string* host)>
      routes = {};
  // The host's newest path of the reason recorded before `before`: none or one.
  std::function<HistoryAnswer<RouteTrace>(const std::string& host, RouteReason reason,
                                          HistoryTime before)>
      latestRoute = {};
};

}  // namespace kelvoran
