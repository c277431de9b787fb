#include "history/route_store.h"

#include <algorithm>

#include "history/sqlite_handle.h"

namespace kelvoran::route_store {

// Times in milliseconds as elsewhere in the file; reason and end are the
// enums' numbers, which are fixed. A hop's address is numeric text, "" when
// none of its echoes was answered.
const char* const kSchema = R"(
CREATE TABLE IF NOT EXISTS route_traces(
  id INTEGER PRIMARY KEY, host INTEGER NOT NULL, time INTEGER NOT NULL,
  reason INTEGER NOT NULL, end_kind INTEGER NOT NULL, destination TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS route_traces_by_host ON route_traces(host, time);
CREATE INDEX IF NOT EXISTS route_traces_by_time ON route_traces(time);
CREATE TABLE IF NOT EXISTS route_hops(
  trace INTEGER NOT NULL, hop INTEGER NOT NULL, address TEXT NOT NULL, name TEXT NOT NULL,
  sent INTEGER NOT NULL, received INTEGER NOT NULL, best INTEGER NOT NULL,
  average INTEGER NOT NULL, destination INTEGER NOT NULL, status INTEGER NOT NULL,
  PRIMARY KEY(trace, hop)) WITHOUT ROWID;
)";

namespace {

constexpr HistoryTime kMillisecondsPerSecond = 1000;

int ReadHops(sqlite3* db, std::int64_t trace, std::vector<RouteHop>& hops) {
  sqlite::Statement query(db,
                          "SELECT hop, address, name, sent, received, best, average, destination,"
                          " status FROM route_hops WHERE trace = ?1 ORDER BY hop");
  query.Bind(1, trace);
  int code;
  while ((code = query.Step()) == SQLITE_ROW) {
    RouteHop& hop = hops.emplace_back();
    hop.HopLimit = static_cast<int>(query.Integer(0));
    hop.Address = query.Text(1);
    hop.Name = query.Text(2);
    hop.Sent = static_cast<int>(query.Integer(3));
    hop.Received = static_cast<int>(query.Integer(4));
    hop.BestMicros = static_cast<std::uint64_t>(query.Integer(5));
    hop.AverageMicros = static_cast<std::uint64_t>(query.Integer(6));
    hop.Destination = query.Integer(7) != 0;
    hop.Status = static_cast<std::int32_t>(query.Integer(8));
  }
  return code == SQLITE_DONE ? SQLITE_OK : code;
}

int DropTrace(sqlite3* db, std::int64_t trace) {
  sqlite::Statement hops(db, "DELETE FROM route_hops WHERE trace = ?1");
  sqlite::Statement traces(db, "DELETE FROM route_traces WHERE id = ?1");
  const int code = hops.Bind(1, trace).Run();
  return code == SQLITE_OK ? traces.Bind(1, trace).Run() : code;
}

bool SameHops(const RouteTrace& a, const RouteTrace& b) {
  return a.End == b.End && std::equal(a.Hops.begin(), a.Hops.end(), b.Hops.begin(), b.Hops.end(),
                                      [](const RouteHop& x, const RouteHop& y) {
                                        return x.HopLimit == y.HopLimit && x.Address == y.Address;
                                      });
}

// The host's newest baseline's id, when it has the trace's hops: 0 when not.
int SameNewestBaseline(sqlite3* db, std::int64_t host, const RouteTrace& trace, std::int64_t& id) {
  id = 0;
  sqlite::Statement newest(db,
                           "SELECT id, end_kind FROM route_traces WHERE host = ?1 AND reason = 0"
                           " ORDER BY time DESC, id DESC LIMIT 1");
  int code = newest.Bind(1, host).Step();
  if (code != SQLITE_ROW) return code == SQLITE_DONE ? SQLITE_OK : code;
  RouteTrace previous;
  const std::int64_t found = newest.Integer(0);
  previous.End = static_cast<RouteEnd>(newest.Integer(1));
  newest.Reset();
  if ((code = ReadHops(db, found, previous.Hops)) != SQLITE_OK) return code;
  if (SameHops(previous, trace)) id = found;
  return SQLITE_OK;
}

int InsertHops(sqlite3* db, std::int64_t trace, const std::vector<RouteHop>& hops) {
  sqlite::Statement add(db,
                        "INSERT OR REPLACE INTO route_hops(trace, hop, address, name, sent,"
                        " received, best, average, destination, status)"
                        " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
  int code = SQLITE_OK;
  for (auto hop = hops.begin(); code == SQLITE_OK && hop != hops.end(); ++hop)
    code =
        add.Bind(1, trace)
            .Bind(2, std::int64_t{hop->HopLimit})
            .Bind(3, hop->Address)
            .Bind(4, hop->Name)
            .Bind(5, std::int64_t{hop->Sent})
            .Bind(6, std::int64_t{hop->Received})
            // Microseconds past 2^63 are no round trip: held there.
            .Bind(7, static_cast<std::int64_t>(std::min<std::uint64_t>(hop->BestMicros, INT64_MAX)))
            .Bind(8,
                  static_cast<std::int64_t>(std::min<std::uint64_t>(hop->AverageMicros, INT64_MAX)))
            .Bind(9, std::int64_t{hop->Destination})
            .Bind(10, std::int64_t{hop->Status})
            .Run();
  return code;
}

}  // namespace

int Write(sqlite3* db, std::int64_t host, const RouteTrace& trace) {
  int code = SQLITE_OK;
  if (trace.Reason == RouteReason::Baseline) {
    std::int64_t same = 0;
    code = SameNewestBaseline(db, host, trace, same);
    if (code == SQLITE_OK && same) code = DropTrace(db, same);
  }
  if (code != SQLITE_OK) return code;
  sqlite::Statement add(db,
                        "INSERT INTO route_traces(host, time, reason, end_kind, destination)"
                        " VALUES (?1, ?2, ?3, ?4, ?5)");
  code = add.Bind(1, host)
             .Bind(2, trace.Taken * kMillisecondsPerSecond)
             .Bind(3, static_cast<std::int64_t>(trace.Reason))
             .Bind(4, static_cast<std::int64_t>(trace.End))
             .Bind(5, trace.Destination)
             .Run();
  return code == SQLITE_OK ? InsertHops(db, sqlite3_last_insert_rowid(db), trace.Hops) : code;
}

int Read(sqlite3* db, const Filter& filter, std::vector<RouteTrace>& found) {
  std::string sql =
      "SELECT t.id, h.name, t.time, t.reason, t.end_kind, t.destination FROM route_traces t"
      " JOIN hosts h ON h.id = t.host WHERE ";
  sql.append(filter.hostKey ? "h.key = ?3 AND " : "")
      .append(filter.reason ? "t.reason = ?4 AND " : "")
      .append("t.time >= ?1 AND t.time < ?2 ORDER BY t.time DESC, t.id DESC LIMIT ?5");
  sqlite::Statement query(db, sql);
  query.Bind(1, filter.from).Bind(2, filter.to).Bind(5, filter.limit);
  if (filter.hostKey) query.Bind(3, *filter.hostKey);
  if (filter.reason) query.Bind(4, static_cast<std::int64_t>(*filter.reason));
  std::vector<std::int64_t> ids;
  int code;
  while ((code = query.Step()) == SQLITE_ROW) {
    ids.push_back(query.Integer(0));
    RouteTrace& trace = found.emplace_back();
    trace.Host = query.Text(1);
    trace.Taken = query.Integer(2) / kMillisecondsPerSecond;
    trace.Reason = static_cast<RouteReason>(query.Integer(3));
    trace.End = static_cast<RouteEnd>(query.Integer(4));
    trace.Destination = query.Text(5);
  }
  query.Reset();
  if (code != SQLITE_DONE) return code;
  code = SQLITE_OK;
  for (std::size_t i = 0; code == SQLITE_OK && i < ids.size(); ++i)
    code = ReadHops(db, ids[i], found[i].Hops);
  return code;
}

int DropExpired(sqlite3* db, std::int64_t host, HistoryTime samples, HistoryTime changes, int limit,
                int& dropped) {
  dropped = 0;
  // Along the index on host and time: only the host's rows older than the
  // later cutoff are looked at.
  sqlite::Statement expired(
      db,
      "SELECT id FROM route_traces WHERE host = ?1 AND time < max(?2, ?3) AND"
      " ((reason <> 0 AND time < ?3) OR (reason = 0 AND time < ?2 AND id <> coalesce((SELECT id"
      " FROM route_traces WHERE host = ?1 AND reason = 0 ORDER BY time DESC, id DESC LIMIT 1),"
      " 0))) LIMIT ?4");
  expired.Bind(1, host).Bind(2, samples).Bind(3, changes).Bind(4, std::int64_t{limit});
  std::vector<std::int64_t> ids;
  int code;
  while ((code = expired.Step()) == SQLITE_ROW) ids.push_back(expired.Integer(0));
  expired.Reset();
  if (code != SQLITE_DONE) return code;
  code = SQLITE_OK;
  for (auto id = ids.begin(); code == SQLITE_OK && id != ids.end(); ++id) code = DropTrace(db, *id);
  if (code == SQLITE_OK) dropped = static_cast<int>(ids.size());
  return code;
}

int Forget(sqlite3* db, std::int64_t host) {
  sqlite::Statement hops(
      db, "DELETE FROM route_hops WHERE trace IN (SELECT id FROM route_traces WHERE host = ?1)");
  sqlite::Statement traces(db, "DELETE FROM route_traces WHERE host = ?1");
  const int code = hops.Bind(1, host).Run();
  return code == SQLITE_OK ? traces.Bind(1, host).Run() : code;
}

int Move(sqlite3* db, std::int64_t from, std::int64_t to) {
  sqlite::Statement move(db, "UPDATE route_traces SET host = ?2 WHERE host = ?1");
  return move.Bind(1, from).Bind(2, to).Run();
}

}  // namespace kelvoran::route_store
