#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/host_record.h"
#include "engine/probe_job.h"
#include "history/history_recorder.h"
#include "history/history_store.h"

namespace kelvoran::testing {

// Results are stamped from here on: within the 30 days the history keeps.
constexpr CalendarTime kStart = 1'800'000'000;

inline std::vector<HistorySample> SamplesOf(HistoryStore& store, const std::string& host) {
  std::vector<HistorySample> samples;
  store.ForEachSample(host, 0, INT64_MAX, [&](const HistorySample& s) { samples.push_back(s); });
  return samples;
}

// Results of the hosts and changes of every host in the store.
inline std::size_t RowCount(HistoryStore& store, const std::vector<std::string>& hosts) {
  std::size_t rows = store.Changes(0, INT64_MAX).size();
  for (const std::string& host : hosts) rows += SamplesOf(store, host).size();
  return rows;
}

// The first column of the first row `sql` finds in the file, or -1.
inline std::int64_t QueryInteger(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  std::int64_t found = -1;
  sqlite3_stmt* query = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, sql, -1, &query, nullptr) == SQLITE_OK &&
      sqlite3_step(query) == SQLITE_ROW)
    found = sqlite3_column_int64(query, 0);
  sqlite3_finalize(query);
  sqlite3_close(db);
  return found;
}

// A failed probe of the host stamped `start` that took it from OK to ERROR.
// (Times before kStart are dropped by the retention pass as soon as it runs.)
inline void RecordChange(HistoryRecorder& recorder, const std::string& name, CalendarTime start) {
  HostRecord host;
  host.Host = name;
  host.Status = StatusError;
  recorder.ResultApplied(host, {.ResultCode = 11010, .StartTime = start}, StatusOk);
}

}  // namespace kelvoran::testing
