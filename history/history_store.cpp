#include "history/history_store.h"

#include <filesystem>
#include <optional>
#include <utility>

#include "platform/shared_folder_links.h"
#include "portable/profile_text.h"

namespace kelvoran {
namespace {

// Compact by design: about 20 bytes a result on disk. Hosts are small
// integers; the results are keyed by host and time without a rowid, so a
// host's results over a time range lie together; 0 (success, no round trip,
// OK) takes no byte at all in SQLite's record format.
constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS hosts(
  id INTEGER PRIMARY KEY, key TEXT NOT NULL UNIQUE, name TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS samples(
  host INTEGER NOT NULL, time INTEGER NOT NULL, code INTEGER NOT NULL,
  rtt INTEGER NOT NULL, status INTEGER NOT NULL, PRIMARY KEY(host, time)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS changes(
  time INTEGER NOT NULL, host INTEGER NOT NULL, before_status INTEGER NOT NULL,
  after_status INTEGER NOT NULL, text TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS changes_by_time ON changes(time);
CREATE INDEX IF NOT EXISTS changes_by_host ON changes(host, time);
)";

// SQLite writes the journal beside the file under these names, creating
// them through any link it finds there.
constexpr const char* kCompanions[] = {"", "-wal", "-journal"};

// A link another user put in a shared folder would aim our writes at a file
// of their choice: refused, before SQLite can open or create anything. With no
// link there, SQLITE_OPEN_NOFOLLOW makes one put there since fail the open.
int CheckLinks(const std::string& path, int& openFlags) {
  for (const char* companion : kCompanions)
    if (TrustOfLink(path + companion) == LinkTrust::Refuse) return SQLITE_CANTOPEN_SYMLINK;
  if (TrustOfLink(path) == LinkTrust::NoFollow) openFlags |= SQLITE_OPEN_NOFOLLOW;
  return SQLITE_OK;
}

// The settings file's own rule for which names are one section.
std::string KeyOf(const std::string& name) { return ProfileText::SectionKey(name); }

}  // namespace

struct HistoryStore::Statements {
  explicit Statements(sqlite3* db)
      : findHost(db, "SELECT id FROM hosts WHERE key = ?1"),
        addHost(db, "INSERT INTO hosts(key, name) VALUES (?1, ?2)"),
        addSample(db,
                  "INSERT OR IGNORE INTO samples(host, time, code, rtt, status)"
                  " VALUES (?1, ?2, ?3, ?4, ?5)"),
        addChange(db,
                  "INSERT INTO changes(time, host, before_status, after_status, text)"
                  " VALUES (?1, ?2, ?3, ?4, ?5)"),
        nextHost(db, "SELECT id FROM hosts WHERE id > ?1 ORDER BY id LIMIT 1"),
        dropSamples(db,
                    "DELETE FROM samples WHERE host = ?1 AND time < coalesce("
                    "(SELECT time FROM samples WHERE host = ?1 AND time < ?2"
                    " ORDER BY time LIMIT 1 OFFSET ?3), ?2)"),
        dropChanges(db,
                    "DELETE FROM changes WHERE rowid IN"
                    " (SELECT rowid FROM changes WHERE time < ?1 LIMIT ?2)") {}
  int Prepared() const {
    for (const sqlite::Statement* s :
         {&findHost, &addHost, &addSample, &addChange, &nextHost, &dropSamples, &dropChanges})
      if (s->Prepared() != SQLITE_OK) return s->Prepared();
    return SQLITE_OK;
  }
  sqlite::Statement findHost, addHost, addSample, addChange, nextHost, dropSamples, dropChanges;
};

HistoryStore::HistoryStore() = default;
HistoryStore::~HistoryStore() { Close(); }

HistoryStore::Fault HistoryStore::FaultOf(int sqliteCode) {
  if (sqliteCode == SQLITE_CANTOPEN_SYMLINK) return Fault::ForeignLink;
  switch (sqlite::Primary(sqliteCode)) {
    case SQLITE_OK:
      return Fault::None;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Fault::Locked;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return Fault::Damaged;
    default:
      return Fault::Unwritable;
  }
}

int HistoryStore::Open(const std::string& path) {
  Close();
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (const int refused = CheckLinks(path, flags); refused != SQLITE_OK) return refused;
  sqlite3* opened = nullptr;
  // SQLite takes file names in UTF-8; on Windows the path is in the ANSI
  // code page, as the settings file's is.
  const std::u8string name = std::filesystem::path(path).u8string();
  int code = sqlite3_open_v2(reinterpret_cast<const char*>(name.c_str()), &opened, flags, nullptr);
  db_.reset(opened);
  if (code == SQLITE_OK) code = CreateTables();
  if (code == SQLITE_OK) {
    statements_ = std::make_unique<Statements>(db_.get());
    code = statements_->Prepared();
  }
  if (code != SQLITE_OK) Close();
  return code;
}

int HistoryStore::CreateTables() {
  // A second copy gives up at once: waiting would only delay its start.
  sqlite3_busy_timeout(db_.get(), 100);
  int code = sqlite::Execute(db_.get(), "PRAGMA locking_mode=EXCLUSIVE");
  if (code != SQLITE_OK) return code;
  // The mode is the answer, not an error: a folder in which no -wal file can
  // be made leaves the journal as it was.
  sqlite::Statement wal(db_.get(), "PRAGMA journal_mode=WAL");
  code = wal.Step();
  if (code != SQLITE_ROW) return code;
  const bool walOn = wal.Text(0) == "wal";
  wal.Reset();
  if (!walOn) return SQLITE_READONLY;
  code = sqlite::Execute(db_.get(), "PRAGMA synchronous=NORMAL");
  if (code == SQLITE_OK) code = sqlite::Execute(db_.get(), "BEGIN IMMEDIATE");
  if (code == SQLITE_OK) code = sqlite::Execute(db_.get(), kSchema);
  if (code == SQLITE_OK) return sqlite::Execute(db_.get(), "COMMIT");
  if (!sqlite3_get_autocommit(db_.get())) sqlite::Execute(db_.get(), "ROLLBACK");
  return code;
}

void HistoryStore::Close() {
  statements_.reset();
  db_.reset();
  hostIds_.clear();
  lastTimes_.clear();
  retentionHost_ = 0;
}

int HistoryStore::Write(const std::vector<HistoryBatch>& batches) {
  if (!db_) return SQLITE_MISUSE;
  int code = sqlite::Execute(db_.get(), "BEGIN IMMEDIATE");
  for (auto batch = batches.begin(); code == SQLITE_OK && batch != batches.end(); ++batch)
    code = WriteBatch(*batch);
  if (code == SQLITE_OK) code = sqlite::Execute(db_.get(), "COMMIT");
  if (code == SQLITE_OK) return code;
  if (!sqlite3_get_autocommit(db_.get())) sqlite::Execute(db_.get(), "ROLLBACK");
  hostIds_.clear();
  lastTimes_.clear();
  return code;
}

int HistoryStore::WriteBatch(const HistoryBatch& batch) {
  int code = batch.rename ? Rename(batch.rename->from, batch.rename->to) : SQLITE_OK;
  std::int64_t host = 0;
  for (auto r = batch.results.begin(); code == SQLITE_OK && r != batch.results.end(); ++r) {
    code = HostId(r->host, host);
    if (code == SQLITE_OK) code = InsertSample(host, r->sample);
  }
  for (auto c = batch.changes.begin(); code == SQLITE_OK && c != batch.changes.end(); ++c) {
    if ((code = HostId(c->host, host)) != SQLITE_OK) break;
    code = statements_->addChange.Bind(1, c->time)
               .Bind(2, host)
               .Bind(3, c->before)
               .Bind(4, c->after)
               .Bind(5, c->text)
               .Run();
  }
  return code;
}

int HistoryStore::InsertSample(std::int64_t host, const HistorySample& sample) {
  // Probe times are whole seconds: a host probed twice within one second (a
  // Delay of 0) gets its second result a millisecond later, not dropped.
  HistoryTime time = sample.time;
  const auto last = lastTimes_.find(host);
  if (last != lastTimes_.end() && time <= last->second && time / 1000 == last->second / 1000)
    time = last->second + 1;
  lastTimes_[host] = time;
  return statements_->addSample.Bind(1, host)
      .Bind(2, time)
      .Bind(3, sample.code)
      .Bind(4, static_cast<std::int64_t>(sample.roundTrip))
      .Bind(5, sample.status)
      .Run();
}

std::int64_t HistoryStore::FindHost(const std::string& key) {
  sqlite::Statement& find = statements_->findHost;
  const bool found = find.Bind(1, key).Step() == SQLITE_ROW;
  const std::int64_t id = found ? find.Integer(0) : 0;
  find.Reset();
  return id;
}

int HistoryStore::HostId(const std::string& name, std::int64_t& id) {
  std::string key = KeyOf(name);
  if (const auto known = hostIds_.find(key); known != hostIds_.end()) {
    id = known->second;
    return SQLITE_OK;
  }
  id = FindHost(key);
  if (!id) {
    if (const int code = statements_->addHost.Bind(1, key).Bind(2, name).Run(); code != SQLITE_OK)
      return code;
    id = sqlite3_last_insert_rowid(db_.get());
  }
  hostIds_.emplace(std::move(key), id);
  return SQLITE_OK;
}

// The history goes with the name. A name that has a history already (a host
// deleted earlier) takes this one in as well.
int HistoryStore::Rename(const std::string& from, const std::string& to) {
  const std::string fromKey = KeyOf(from);
  const std::string toKey = KeyOf(to);
  const std::int64_t fromId = FindHost(fromKey);
  if (!fromId) return SQLITE_OK;
  const std::int64_t toId = fromKey == toKey ? 0 : FindHost(toKey);
  hostIds_.erase(fromKey);
  lastTimes_.clear();
  if (!toId) {
    sqlite::Statement move(db_.get(), "UPDATE hosts SET key = ?2, name = ?3 WHERE id = ?1");
    return move.Bind(1, fromId).Bind(2, toKey).Bind(3, to).Run();
  }
  // Two results at the same moment: the renamed host's wins.
  sqlite::Statement samples(db_.get(), "UPDATE OR REPLACE samples SET host = ?2 WHERE host = ?1");
  sqlite::Statement changes(db_.get(), "UPDATE changes SET host = ?2 WHERE host = ?1");
  sqlite::Statement drop(db_.get(), "DELETE FROM hosts WHERE id = ?1");
  sqlite::Statement name(db_.get(), "UPDATE hosts SET name = ?1 WHERE id = ?2");
  int code = samples.Bind(1, fromId).Bind(2, toId).Run();
  if (code == SQLITE_OK) code = changes.Bind(1, fromId).Bind(2, toId).Run();
  if (code == SQLITE_OK) code = drop.Bind(1, fromId).Run();
  return code == SQLITE_OK ? name.Bind(1, to).Bind(2, toId).Run() : code;
}

int HistoryStore::DropExpired(HistoryTime sampleCutoff, HistoryTime changeCutoff, int limit,
                              bool& more) {
  if (!db_) return SQLITE_MISUSE;
  more = true;
  // The changes first, then the results host by host; a chunk of one kind.
  const int code = statements_->dropChanges.Bind(1, changeCutoff).Bind(2, limit).Run();
  if (code != SQLITE_OK || sqlite3_changes(db_.get()) > 0) return code;
  return DropExpiredSamples(sampleCutoff, limit, more);
}

int HistoryStore::DropExpiredSamples(HistoryTime cutoff, int limit, bool& more) {
  sqlite::Statement& next = statements_->nextHost;
  const int stepped = next.Bind(1, retentionHost_).Step();
  if (stepped != SQLITE_ROW) {
    retentionHost_ = 0;
    more = false;
    return stepped == SQLITE_DONE ? SQLITE_OK : stepped;
  }
  const std::int64_t host = next.Integer(0);
  next.Reset();
  const int code = statements_->dropSamples.Bind(1, host).Bind(2, cutoff).Bind(3, limit).Run();
  // A host with fewer expired rows than a chunk is done.
  if (code == SQLITE_OK && sqlite3_changes(db_.get()) < limit) retentionHost_ = host;
  return code;
}

int HistoryStore::ForEachSample(const std::string& host, HistoryTime from, HistoryTime to,
                                const std::function<void(const HistorySample&)>& visit) {
  if (!db_) return SQLITE_MISUSE;
  sqlite::Statement query(db_.get(),
                          "SELECT time, code, rtt, status FROM samples WHERE host ="
                          " (SELECT id FROM hosts WHERE key = ?1) AND time >= ?2 AND time < ?3"
                          " ORDER BY time");
  query.Bind(1, KeyOf(host)).Bind(2, from).Bind(3, to);
  int code;
  while ((code = query.Step()) == SQLITE_ROW)
    visit({query.Integer(0), static_cast<std::int32_t>(query.Integer(1)),
           static_cast<std::uint32_t>(query.Integer(2)),
           static_cast<std::int32_t>(query.Integer(3))});
  return code == SQLITE_DONE ? SQLITE_OK : code;
}

std::vector<HistoryChange> HistoryStore::Changes(HistoryTime from, HistoryTime to,
                                                 const std::string* host) {
  std::vector<HistoryChange> found;
  if (!db_) return found;
  sqlite::Statement query(db_.get(),
                          "SELECT c.time, h.name, c.before_status, c.after_status, c.text"
                          " FROM changes c JOIN hosts h ON h.id = c.host"
                          " WHERE c.time >= ?1 AND c.time < ?2 AND (?3 IS NULL OR h.key = ?3)"
                          " ORDER BY c.time DESC, c.rowid DESC");
  query.Bind(1, from).Bind(2, to);
  if (host) query.Bind(3, KeyOf(*host));
  while (query.Step() == SQLITE_ROW)
    found.push_back({query.Integer(0), query.Text(1), static_cast<std::int32_t>(query.Integer(2)),
                     static_cast<std::int32_t>(query.Integer(3)), query.Text(4)});
  return found;
}

}  // namespace kelvoran
