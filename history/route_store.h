#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "history/history_types.h"
#include "route/route_trace.h"

// The paths recorded to each host, in two tables of the history file beside
// the results: made when a file is opened (CREATE ... IF NOT EXISTS), so a
// file of an older version gains them, and an older version, which never
// names them, leaves them alone.
namespace kelvoran::route_store {

extern const char* const kSchema;

// Within the writer's transaction. A baseline with the same hops' addresses
// and the same end as the host's newest baseline replaces it: a path that
// does not change costs one trace per host, however long it is watched.
int Write(sqlite3* db, std::int64_t host, const RouteTrace& trace);

// Newest first, hops in order. Of one host when `hostKey` is given; of one
// reason when `reason` is given; at most `limit` when not negative.
struct Filter {
  HistoryTime from = 0;
  HistoryTime to = 0;
  const std::string* hostKey = nullptr;
  std::optional<RouteReason> reason;
  std::int64_t limit = -1;
};
int Read(sqlite3* db, const Filter& filter, std::vector<RouteTrace>& found);

// A chunk of at most `limit` of the host's traces past their age: an
// outage's path goes with the changes of status (`changes`), a baseline with
// the results (`samples`), but the host's newest baseline is kept, as the next
// outage is compared with it. `dropped` is how many went.
int DropExpired(sqlite3* db, std::int64_t host, HistoryTime samples, HistoryTime changes, int limit,
                int& dropped);

// The host's paths, when the host is forgotten.
int Forget(sqlite3* db, std::int64_t host);
// A renamed host's paths, onto the host whose name it took.
int Move(sqlite3* db, std::int64_t from, std::int64_t to);

}  // namespace kelvoran::route_store
