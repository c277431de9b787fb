#include "history/history_store.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <variant>

#include "history/histogram_sql.h"
#include "history/route_store.h"
#include "history/summary_sql.h"
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
CREATE TABLE IF NOT EXISTS quality_changes(
  time INTEGER NOT NULL, host INTEGER NOT NULL, before_flags INTEGER NOT NULL,
  after_flags INTEGER NOT NULL, text TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS quality_changes_by_time ON quality_changes(time);
CREATE INDEX IF NOT EXISTS quality_changes_by_host ON quality_changes(host, time);
CREATE TABLE IF NOT EXISTS summaries(
  host INTEGER NOT NULL, span INTEGER NOT NULL, start INTEGER NOT NULL,
  probes INTEGER NOT NULL, failures INTEGER NOT NULL, rtt_min INTEGER, rtt_max INTEGER,
  rtt_sum INTEGER NOT NULL, histogram BLOB NOT NULL, ok_ms INTEGER NOT NULL DEFAULT 0,
  warning_ms INTEGER NOT NULL DEFAULT 0, error_ms INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(host, span, start)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS summary_upgrade(
  host INTEGER PRIMARY KEY, first INTEGER NOT NULL, done_before INTEGER NOT NULL,
  up_to INTEGER NOT NULL, counts INTEGER NOT NULL);
)";

// The schema's version in the file's user_version: 0 for files written
// before alerts had channels, which hold the tables above but the summaries
// only; 2 for those written before the summaries; 3 for those whose
// summaries hold no times in each status. The summaries an older file lacks
// are built after it opens (summary_upgrade, history_upgrade.cpp).
constexpr int kSchemaVersion = 4;

// A host's results per 5 minutes and per hour, kept as results come in, in
// the transaction that adds them. Round trips of answered probes only (code
// 0); rtt_min and rtt_max are NULL while none was answered. The histogram is
// a RoundTripHistogram's stored form. ok_ms, warning_ms and error_ms: the
// time in each status (HistorySummary::msInStatus).
constexpr HistoryTime kSummarySpans[] = {HistorySummary::kFiveMinutes, HistorySummary::kHour};
using SummaryMap = std::map<std::tuple<std::int64_t, HistoryTime, HistoryTime>, HistorySummary>;

// A renamed host's summaries of one span before ?4, whose results are gone,
// added into those of the host whose name it took.
constexpr const char* kMergeSummaries =
    "INSERT INTO summaries(host, span, start, probes, failures, rtt_min, rtt_max, rtt_sum,"
    " histogram, ok_ms, warning_ms, error_ms) SELECT ?2, span, start, probes, failures,"
    " rtt_min, rtt_max, rtt_sum, histogram, ok_ms, warning_ms, error_ms"
    " FROM summaries WHERE host = ?1 AND span = ?3 AND start < ?4";

// The alerts waiting for a channel, with every field of the event, and every
// attempt made. Times of the log in milliseconds as elsewhere; the event's
// moments in seconds with their UTC offsets.
constexpr const char* kAlertSchema = R"(
CREATE TABLE IF NOT EXISTS alert_queue(
  id INTEGER PRIMARY KEY, channel TEXT NOT NULL, kind INTEGER NOT NULL, host TEXT NOT NULL,
  description TEXT NOT NULL, status TEXT NOT NULL, previous_status TEXT NOT NULL,
  error TEXT NOT NULL, outage_start INTEGER NOT NULL, outage_offset INTEGER NOT NULL,
  outage_seconds INTEGER NOT NULL, rtt INTEGER, loss INTEGER NOT NULL, time INTEGER NOT NULL,
  time_offset INTEGER NOT NULL, computer TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS alert_log(
  time INTEGER NOT NULL, channel TEXT NOT NULL, host TEXT NOT NULL, host_key TEXT NOT NULL,
  kind INTEGER NOT NULL, outcome INTEGER NOT NULL, text TEXT NOT NULL, retry_at INTEGER,
  given_up INTEGER NOT NULL, late INTEGER NOT NULL, outage_start INTEGER NOT NULL,
  outage_offset INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS alert_log_by_time ON alert_log(time);
CREATE INDEX IF NOT EXISTS alert_log_by_host ON alert_log(host_key, time);
)";

// Indexes added since, with no new version: a file that lacks one gets it at
// its next opening (a year of 5,000 hosts' alert lines in about half a
// second), and SQLite keeps it up to date for any version that writes.
constexpr const char* kLaterIndexes =
    "CREATE INDEX IF NOT EXISTS alert_log_by_outage ON alert_log(outage_start);";

constexpr HistoryTime kMillisecondsPerSecond = 1000;

// Summaries a write gathers before it merges them into the file.
constexpr std::size_t kMostPendingSummaries = 4096;

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

// The summary of the host's span that `time` falls in, made when new.
HistorySummary& SummaryAt(SummaryMap& pending, std::int64_t host, HistoryTime span,
                          HistoryTime time) {
  const HistoryTime start = time - time % span;
  HistorySummary& summary = pending[{host, span, start}];
  summary.start = start;
  summary.span = span;
  return summary;
}

// Counts a result recorded into the summary of its span.
void AddToSummary(HistorySummary& summary, const HistorySample& sample) {
  const bool firstAnswer = summary.probes == summary.failures;
  ++summary.probes;
  if (sample.code != 0) {
    ++summary.failures;
    return;
  }
  const auto rtt = static_cast<std::int64_t>(sample.roundTrip);
  summary.minRoundTrip = firstAnswer ? rtt : std::min(summary.minRoundTrip, rtt);
  summary.maxRoundTrip = firstAnswer ? rtt : std::max(summary.maxRoundTrip, rtt);
  summary.sumRoundTrip += rtt;
  summary.roundTrips.Add(sample.roundTrip);
}

// The time from a result (`before`) to the host's next one at `time`, in
// the status of the first: up to the end of its span (`tail`), and from the
// start of the next one's span when that is another (`head`).
void AddStatusTimes(SummaryMap& pending, std::int64_t host, const HistorySample& before,
                    HistoryTime time, bool tail, bool head, std::span<const HistoryTime> spans) {
  if (before.status < 0 || before.status > 2) return;
  const auto status = static_cast<std::size_t>(before.status);
  for (const HistoryTime span : spans) {
    const HistoryTime start = time - time % span;
    const HistoryTime beforeEnd = before.time - before.time % span + span;
    if (tail)
      SummaryAt(pending, host, span, before.time).msInStatus[status] +=
          std::min(time, beforeEnd) - before.time;
    if (head && before.time < start)
      SummaryAt(pending, host, span, time).msInStatus[status] += time - start;
  }
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
        addQualityChange(db,
                         "INSERT INTO quality_changes(time, host, before_flags, after_flags, text)"
                         " VALUES (?1, ?2, ?3, ?4, ?5)"),
        nextHost(db, "SELECT id FROM hosts WHERE id > ?1 ORDER BY id LIMIT 1"),
        dropSamples(db,
                    "DELETE FROM samples WHERE host = ?1 AND time < coalesce("
                    "(SELECT time FROM samples WHERE host = ?1 AND time < ?2"
                    " ORDER BY time LIMIT 1 OFFSET ?3), ?2)"),
        dropSummaries(db,
                      "DELETE FROM summaries WHERE host = ?1 AND span = ?2 AND start < coalesce("
                      "(SELECT start FROM summaries WHERE host = ?1 AND span = ?2 AND start < ?3"
                      " ORDER BY start LIMIT 1 OFFSET ?4), ?3)"),
        dropEmptyHost(db,
                      "DELETE FROM hosts WHERE id = ?1"
                      " AND NOT EXISTS (SELECT 1 FROM samples WHERE host = ?1)"
                      " AND NOT EXISTS (SELECT 1 FROM summaries WHERE host = ?1)"
                      " AND NOT EXISTS (SELECT 1 FROM changes WHERE host = ?1)"
                      " AND NOT EXISTS (SELECT 1 FROM quality_changes WHERE host = ?1)"
                      " AND NOT EXISTS (SELECT 1 FROM route_traces WHERE host = ?1)"),
        dropChanges(db,
                    "DELETE FROM changes WHERE rowid IN"
                    " (SELECT rowid FROM changes WHERE time < ?1 LIMIT ?2)"),
        dropQualityChanges(db,
                           "DELETE FROM quality_changes WHERE rowid IN"
                           " (SELECT rowid FROM quality_changes WHERE time < ?1 LIMIT ?2)"),
        dropAlertLog(db,
                     "DELETE FROM alert_log WHERE rowid IN"
                     " (SELECT rowid FROM alert_log WHERE time < ?1 LIMIT ?2)"),
        addSummary(db, MergingInto("INSERT INTO summaries(host, span, start, probes, failures,"
                                   " rtt_min, rtt_max, rtt_sum, histogram, ok_ms, warning_ms,"
                                   " error_ms) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10,"
                                   " ?11, ?12)")),
        newestResult(db,
                     "SELECT time, status FROM samples WHERE host = ?1 ORDER BY time DESC"
                     " LIMIT 1") {}
  int Prepared() const {
    for (const sqlite::Statement* s :
         {&findHost, &addHost, &addSample, &addChange, &addQualityChange, &nextHost, &dropSamples,
          &dropSummaries, &dropEmptyHost, &dropChanges, &dropQualityChanges, &dropAlertLog,
          &addSummary, &newestResult})
      if (s->Prepared() != SQLITE_OK) return s->Prepared();
    return SQLITE_OK;
  }
  sqlite::Statement findHost, addHost, addSample, addChange, addQualityChange, nextHost,
      dropSamples, dropSummaries, dropEmptyHost, dropChanges, dropQualityChanges, dropAlertLog,
      addSummary, newestResult;
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
  path_ = path;
  std::error_code missing;
  const bool newFile = std::filesystem::file_size(path, missing) == 0 || missing;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (const int refused = CheckLinks(path, flags); refused != SQLITE_OK) return refused;
  sqlite3* opened = nullptr;
  // SQLite takes file names in UTF-8; on Windows the path is in the ANSI
  // code page, as the settings file's is.
  const std::u8string name = std::filesystem::path(path).u8string();
  int code = sqlite3_open_v2(reinterpret_cast<const char*>(name.c_str()), &opened, flags, nullptr);
  db_.reset(opened);
  if (code == SQLITE_OK) code = sqlite::AddHistogramFunctions(db_.get());
  if (code == SQLITE_OK) code = CreateTables(newFile);
  if (code == SQLITE_OK) {
    statements_ = std::make_unique<Statements>(db_.get());
    code = statements_->Prepared();
  }
  if (code != SQLITE_OK) Close();
  return code;
}

int HistoryStore::CreateTables(bool newFile) {
  // A second copy gives up at once: waiting would only delay its start.
  sqlite3_busy_timeout(db_.get(), 100);
  int code = sqlite::Execute(db_.get(), "PRAGMA locking_mode=EXCLUSIVE");
  // Free pages can be handed back a few at a time. Only a new file takes
  // this here (on a damaged one it would write before the damage shows); an
  // older one takes it when first rebuilt (GiveSpaceBack).
  if (code == SQLITE_OK && newFile)
    code = sqlite::Execute(db_.get(), "PRAGMA auto_vacuum=INCREMENTAL");
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
  if (code == SQLITE_OK) code = sqlite::Execute(db_.get(), route_store::kSchema);
  if (code == SQLITE_OK) code = Upgrade();
  if (code == SQLITE_OK) return sqlite::Execute(db_.get(), "COMMIT");
  if (!sqlite3_get_autocommit(db_.get())) sqlite::Execute(db_.get(), "ROLLBACK");
  return code;
}

// Within the opening transaction. A file from a later version keeps its
// number: its tables are a superset, and it must not be taken for older.
int HistoryStore::Upgrade() {
  sqlite::Statement version(db_.get(), "PRAGMA user_version");
  if (version.Step() != SQLITE_ROW) return version.Prepared() ? version.Prepared() : SQLITE_ERROR;
  const std::int64_t found = version.Integer(0);
  version.Reset();
  int code = found >= kSchemaVersion ? SQLITE_OK : sqlite::Execute(db_.get(), kAlertSchema);
  if (code == SQLITE_OK && found < kSchemaVersion) code = StartUpgrade(found);
  if (code == SQLITE_OK && found < kSchemaVersion)
    code = sqlite::Execute(db_.get(),
                           ("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
  if (code == SQLITE_OK) code = sqlite::Execute(db_.get(), kLaterIndexes);
  return code == SQLITE_OK ? LoadUpgrade() : code;
}

// Results are dropped oldest first, so from the first span-aligned start
// after the oldest result of either host every summary can be built from
// results; before it, where some or all of them are gone, the summaries are
// added up instead. (Two results at the same moment, one of each host, count
// twice there: the rebuilt part keeps only one.)
int HistoryStore::MergeSummaries(std::int64_t fromId, std::int64_t toId) {
  sqlite::Statement oldest(db_.get(), "SELECT min(time) FROM samples WHERE host IN (?1, ?2)");
  const bool anyResult =
      oldest.Bind(1, fromId).Bind(2, toId).Step() == SQLITE_ROW && !oldest.IsNull(0);
  const HistoryTime firstResult = anyResult ? oldest.Integer(0) : INT64_MAX;
  oldest.Reset();
  sqlite::Statement merge(db_.get(), MergingInto(kMergeSummaries));
  sqlite::Statement dropCovered(db_.get(),
                                "DELETE FROM summaries WHERE host IN (?1, ?2) AND span = ?3"
                                " AND start >= ?4");
  int code = SQLITE_OK;
  for (const HistoryTime span : kSummarySpans) {
    const HistoryTime covered =
        anyResult ? firstResult - firstResult % span + (firstResult % span ? span : 0) : INT64_MAX;
    if (code == SQLITE_OK)
      code = dropCovered.Bind(1, fromId).Bind(2, toId).Bind(3, span).Bind(4, covered).Run();
    if (code == SQLITE_OK)
      code = merge.Bind(1, fromId).Bind(2, toId).Bind(3, span).Bind(4, covered).Run();
    HistoryTime end = INT64_MAX;
    if (code == SQLITE_OK && anyResult)
      code = BuildSummaries(toId, covered, end, true, INT64_MAX, {&span, 1});
  }
  sqlite::Statement dropMerged(db_.get(), "DELETE FROM summaries WHERE host = ?1");
  return code == SQLITE_OK ? dropMerged.Bind(1, fromId).Run() : code;
}

int HistoryStore::WriteSummaries(PendingSummaries& pending) {
  int code = SQLITE_OK;
  for (auto it = pending.begin(); code == SQLITE_OK && it != pending.end(); ++it) {
    const HistorySummary& s = it->second;
    std::optional<std::int64_t> min, max;
    if (s.probes > s.failures) {
      min = s.minRoundTrip;
      max = s.maxRoundTrip;
    }
    code = statements_->addSummary.Bind(1, std::get<0>(it->first))
               .Bind(2, s.span)
               .Bind(3, s.start)
               .Bind(4, s.probes)
               .Bind(5, s.failures)
               .Bind(6, min)
               .Bind(7, max)
               .Bind(8, s.sumRoundTrip)
               .BindBlob(9, s.roundTrips.Encode())
               .Bind(10, s.msInStatus[0])
               .Bind(11, s.msInStatus[1])
               .Bind(12, s.msInStatus[2])
               .Run();
  }
  pending.clear();
  return code;
}

void HistoryStore::Close() {
  statements_.reset();
  db_.reset();
  hostIds_.clear();
  lastTimes_.clear();
  upgrade_.clear();
  retentionHost_ = 0;
}

int HistoryStore::Write(const std::vector<HistoryBatch>& batches,
                        const std::vector<AlertJournalCall>& alerts) {
  if (!db_) return SQLITE_MISUSE;
  int code = sqlite::Execute(db_.get(), "BEGIN IMMEDIATE");
  PendingSummaries pending;
  for (auto batch = batches.begin(); code == SQLITE_OK && batch != batches.end(); ++batch)
    code = WriteBatch(*batch, pending);
  if (code == SQLITE_OK) code = WriteSummaries(pending);
  for (auto call = alerts.begin(); code == SQLITE_OK && call != alerts.end(); ++call)
    code = WriteAlert(*call);
  if (code == SQLITE_OK) code = sqlite::Execute(db_.get(), "COMMIT");
  if (code == SQLITE_OK) return code;
  if (!sqlite3_get_autocommit(db_.get())) sqlite::Execute(db_.get(), "ROLLBACK");
  hostIds_.clear();
  lastTimes_.clear();
  if (!upgrade_.empty()) LoadUpgrade();
  return code;
}

int HistoryStore::WriteBatch(const HistoryBatch& batch, PendingSummaries& pending) {
  int code = SQLITE_OK;
  // A rename may merge two hosts' summaries, rebuilt from the results in the
  // file: those of the batches before it must be there already.
  if (batch.rename && (code = WriteSummaries(pending)) == SQLITE_OK)
    code = Rename(batch.rename->from, batch.rename->to);
  // Likewise the summaries a forgotten host's results added to: written
  // first, or they would outlive it.
  if (batch.forget && code == SQLITE_OK && (code = WriteSummaries(pending)) == SQLITE_OK)
    code = Forget(*batch.forget);
  std::int64_t host = 0;
  for (auto r = batch.results.begin(); code == SQLITE_OK && r != batch.results.end(); ++r) {
    code = HostId(r->host, host);
    if (code == SQLITE_OK) code = InsertSample(host, r->sample, pending);
    // Summaries merge into the file's, so they may go at any point: a batch
    // of a 50,000-host list would otherwise hold 100,000 in memory at once.
    if (code == SQLITE_OK && pending.size() >= kMostPendingSummaries)
      code = WriteSummaries(pending);
  }
  for (const auto& [changes, add] :
       {std::pair(&batch.changes, &statements_->addChange),
        std::pair(&batch.qualityChanges, &statements_->addQualityChange)})
    for (auto c = changes->begin(); code == SQLITE_OK && c != changes->end(); ++c) {
      if ((code = HostId(c->host, host)) != SQLITE_OK) break;
      code = add->Bind(1, c->time)
                 .Bind(2, host)
                 .Bind(3, c->before)
                 .Bind(4, c->after)
                 .Bind(5, c->text)
                 .Run();
    }
  for (auto r = batch.routes.begin(); code == SQLITE_OK && r != batch.routes.end(); ++r) {
    code = HostId(r->Host, host);
    if (code == SQLITE_OK) code = route_store::Write(db_.get(), host, *r);
  }
  return code;
}

int HistoryStore::WriteAlert(const AlertJournalCall& call) {
  if (const auto* finished = std::get_if<AlertFinished>(&call)) {
    sqlite::Statement drop(db_.get(), "DELETE FROM alert_queue WHERE id = ?1");
    return drop.Bind(1, static_cast<std::int64_t>(finished->id)).Run();
  }
  if (const auto* e = std::get_if<AlertLogEntry>(&call)) {
    sqlite::Statement add(db_.get(),
                          "INSERT INTO alert_log(time, channel, host, host_key, kind, outcome,"
                          " text, retry_at, given_up, late, outage_start, outage_offset)"
                          " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
    return add.Bind(1, e->at * kMillisecondsPerSecond)
        .Bind(2, e->channel)
        .Bind(3, e->host)
        .Bind(4, KeyOf(e->host))
        .Bind(5, static_cast<std::int64_t>(e->kind))
        .Bind(6, static_cast<std::int64_t>(e->outcome))
        .Bind(7, e->text)
        .Bind(8, e->retryAt)
        .Bind(9, std::int64_t{e->givenUp})
        .Bind(10, std::int64_t{e->late})
        .Bind(11, e->outageStart.utc)
        .Bind(12, std::int64_t{e->outageStart.utcOffsetSeconds})
        .Run();
  }
  const WaitingAlert& w = std::get<WaitingAlert>(call);
  const AlertEvent& a = w.alert;
  sqlite::Statement add(db_.get(),
                        "INSERT OR REPLACE INTO alert_queue(id, channel, kind, host, description,"
                        " status, previous_status, error, outage_start, outage_offset,"
                        " outage_seconds, rtt, loss, time, time_offset, computer) VALUES"
                        " (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16)");
  std::optional<std::int64_t> rtt;
  if (a.roundTripMs) rtt = *a.roundTripMs;
  return add.Bind(1, static_cast<std::int64_t>(w.id))
      .Bind(2, w.channel)
      .Bind(3, static_cast<std::int64_t>(a.kind))
      .Bind(4, a.host)
      .Bind(5, a.description)
      .Bind(6, a.status)
      .Bind(7, a.previousStatus)
      .Bind(8, a.error)
      .Bind(9, a.outageStart.utc)
      .Bind(10, std::int64_t{a.outageStart.utcOffsetSeconds})
      .Bind(11, a.outageSeconds)
      .Bind(12, rtt)
      .Bind(13, std::int64_t{a.lossPercent})
      .Bind(14, a.time.utc)
      .Bind(15, std::int64_t{a.time.utcOffsetSeconds})
      .Bind(16, a.computer)
      .Run();
}

int HistoryStore::InsertSample(std::int64_t host, const HistorySample& sample,
                               PendingSummaries& pending) {
  // Probe times are whole seconds: a host probed twice within one second (a
  // Delay of 0) gets its second result a millisecond later, not dropped.
  HistoryTime time = sample.time;
  const auto last = lastTimes_.find(host);
  if (last != lastTimes_.end() && time <= last->second.time &&
      time / 1000 == last->second.time / 1000)
    time = last->second.time + 1;
  const std::optional<Latest> newest = Newest(host);
  const int code = statements_->addSample.Bind(1, host)
                       .Bind(2, time)
                       .Bind(3, sample.code)
                       .Bind(4, static_cast<std::int64_t>(sample.roundTrip))
                       .Bind(5, sample.status)
                       .Run();
  // A result already there (the same moment recorded twice) is counted once.
  if (code != SQLITE_OK || sqlite3_changes(db_.get()) == 0) return code;
  // A result stamped before the newest (a clock set back) adds no time in
  // any status.
  const bool inOrder = !newest || newest->time < time;
  if (inOrder) lastTimes_[host] = {time, sample.status};
  // Each part is left to the upgrade when the result it is counted with is
  // one the upgrade has still to count.
  if (inOrder && newest)
    AddStatusTimes(pending, host, {newest->time, 0, 0, newest->status}, time,
                   !UpgradeOwns(host, newest->time, false), !UpgradeOwns(host, time, false),
                   kSummarySpans);
  if (UpgradeOwns(host, time, true)) return code;
  for (const HistoryTime span : kSummarySpans)
    AddToSummary(SummaryAt(pending, host, span, time),
                 {time, sample.code, sample.roundTrip, sample.status});
  return code;
}

std::optional<HistoryStore::Latest> HistoryStore::Newest(std::int64_t host) {
  if (const auto last = lastTimes_.find(host); last != lastTimes_.end()) return last->second;
  std::optional<Latest> newest;
  sqlite::Statement& find = statements_->newestResult;
  if (find.Bind(1, host).Step() == SQLITE_ROW)
    newest = Latest{find.Integer(0), static_cast<std::int32_t>(find.Integer(1))};
  find.Reset();
  return newest;
}

// Adds the host's results from `from` up to `to`, at most `rows` of them, to
// its summaries over `spans` as recording would have: their probes when
// `counts`, and the time in each status that their predecessors and the
// results themselves held. `to` is lowered to where it stopped.
int HistoryStore::BuildSummaries(std::int64_t host, HistoryTime from, HistoryTime& to, bool counts,
                                 std::int64_t rows, std::span<const HistoryTime> spans) {
  sqlite::Statement before(db_.get(),
                           "SELECT time, status FROM samples WHERE host = ?1 AND time < ?2"
                           " ORDER BY time DESC LIMIT 1");
  std::optional<HistorySample> previous;
  if (before.Bind(1, host).Bind(2, from).Step() == SQLITE_ROW)
    previous = HistorySample{before.Integer(0), 0, 0, static_cast<std::int32_t>(before.Integer(1))};
  before.Reset();
  bool previousCounted = false;
  sqlite::Statement results(db_.get(),
                            "SELECT time, code, rtt, status FROM samples WHERE host = ?1"
                            " AND time >= ?2 ORDER BY time");
  results.Bind(1, host).Bind(2, from);
  PendingSummaries pending;
  int code;
  while ((code = results.Step()) == SQLITE_ROW) {
    const HistorySample sample{results.Integer(0), static_cast<std::int32_t>(results.Integer(1)),
                               static_cast<std::uint32_t>(results.Integer(2)),
                               static_cast<std::int32_t>(results.Integer(3))};
    if (rows-- == 0) to = std::min(to, sample.time);
    const bool counted = sample.time < to;
    if (previous)
      AddStatusTimes(pending, host, *previous, sample.time, previousCounted, counted, spans);
    if (!counted) break;
    if (counts)
      for (const HistoryTime span : spans)
        AddToSummary(SummaryAt(pending, host, span, sample.time), sample);
    previous = sample;
    previousCounted = true;
  }
  results.Reset();
  if (code != SQLITE_ROW && code != SQLITE_DONE) return code;
  return WriteSummaries(pending);
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
  sqlite::Statement qualityChanges(db_.get(),
                                   "UPDATE quality_changes SET host = ?2 WHERE host = ?1");
  sqlite::Statement drop(db_.get(), "DELETE FROM hosts WHERE id = ?1");
  sqlite::Statement name(db_.get(), "UPDATE hosts SET name = ?1 WHERE id = ?2");
  // The merged summaries are rebuilt from the results: the upgrade's share
  // of both hosts' is built first, or it would be counted again.
  int code = EndUpgradeOf(fromId, true);
  if (code == SQLITE_OK) code = EndUpgradeOf(toId, true);
  if (code == SQLITE_OK) code = samples.Bind(1, fromId).Bind(2, toId).Run();
  if (code == SQLITE_OK) code = changes.Bind(1, fromId).Bind(2, toId).Run();
  if (code == SQLITE_OK) code = qualityChanges.Bind(1, fromId).Bind(2, toId).Run();
  if (code == SQLITE_OK) code = route_store::Move(db_.get(), fromId, toId);
  if (code == SQLITE_OK) code = MergeSummaries(fromId, toId);
  if (code == SQLITE_OK) code = drop.Bind(1, fromId).Run();
  return code == SQLITE_OK ? name.Bind(1, to).Bind(2, toId).Run() : code;
}

// Every row of the name but the alert log's, which keeps what was sent. Its
// id goes too: a result under the name later adds it afresh.
int HistoryStore::Forget(const std::string& name) {
  const std::string key = KeyOf(name);
  const std::int64_t id = FindHost(key);
  if (!id) return SQLITE_OK;
  hostIds_.erase(key);
  lastTimes_.erase(id);
  int code = EndUpgradeOf(id, false);
  if (code == SQLITE_OK) code = route_store::Forget(db_.get(), id);
  for (const char* sql :
       {"DELETE FROM samples WHERE host = ?1", "DELETE FROM summaries WHERE host = ?1",
        "DELETE FROM changes WHERE host = ?1", "DELETE FROM quality_changes WHERE host = ?1",
        "DELETE FROM hosts WHERE id = ?1"}) {
    if (code != SQLITE_OK) break;
    sqlite::Statement drop(db_.get(), sql);
    code = drop.Bind(1, id).Run();
  }
  return code;
}

int HistoryStore::DropExpired(const RetentionCutoffs& cutoffs, int limit, bool& more) {
  if (!db_) return SQLITE_MISUSE;
  more = true;
  // The changes first, then the results host by host; a chunk of one kind.
  int code = statements_->dropChanges.Bind(1, cutoffs.changes).Bind(2, limit).Run();
  if (code != SQLITE_OK || sqlite3_changes(db_.get()) > 0) return code;
  code = statements_->dropQualityChanges.Bind(1, cutoffs.changes).Bind(2, limit).Run();
  if (code != SQLITE_OK || sqlite3_changes(db_.get()) > 0) return code;
  // The alert log is kept as long as the changes it goes with.
  code = statements_->dropAlertLog.Bind(1, cutoffs.changes).Bind(2, limit).Run();
  if (code != SQLITE_OK || sqlite3_changes(db_.get()) > 0) return code;
  return DropExpiredOfHost(cutoffs, limit, more);
}

// One chunk of the next host's results and summaries past their cutoffs.
int HistoryStore::DropExpiredOfHost(const RetentionCutoffs& cutoffs, int limit, bool& more) {
  sqlite::Statement& next = statements_->nextHost;
  const int stepped = next.Bind(1, retentionHost_).Step();
  if (stepped != SQLITE_ROW) {
    retentionHost_ = 0;
    more = false;
    return stepped == SQLITE_DONE ? SQLITE_OK : stepped;
  }
  const std::int64_t host = next.Integer(0);
  next.Reset();
  int code = statements_->dropSamples.Bind(1, host).Bind(2, cutoffs.samples).Bind(3, limit).Run();
  int dropped = sqlite3_changes(db_.get());
  for (const auto& [span, cutoff] :
       {std::pair(HistorySummary::kFiveMinutes, cutoffs.fiveMinuteSummaries),
        std::pair(HistorySummary::kHour, cutoffs.hourlySummaries)}) {
    if (code != SQLITE_OK) break;
    code =
        statements_->dropSummaries.Bind(1, host).Bind(2, span).Bind(3, cutoff).Bind(4, limit).Run();
    dropped = std::max(dropped, sqlite3_changes(db_.get()));
  }
  int routes = 0;
  if (code == SQLITE_OK)
    code =
        route_store::DropExpired(db_.get(), host, cutoffs.samples, cutoffs.changes, limit, routes);
  dropped = std::max(dropped, routes);
  // A host with fewer expired rows of each kind than a chunk is done.
  if (code != SQLITE_OK || dropped >= limit) return code;
  retentionHost_ = host;
  return DropHostIfEmpty(host);
}

// A name whose every row has aged out is forgotten; a result under it later
// adds it again.
int HistoryStore::DropHostIfEmpty(std::int64_t host) {
  const int code = statements_->dropEmptyHost.Bind(1, host).Run();
  if (code != SQLITE_OK || sqlite3_changes(db_.get()) == 0) return code;
  std::erase_if(hostIds_, [host](const auto& known) { return known.second == host; });
  lastTimes_.erase(host);
  return EndUpgradeOf(host, false);
}

std::int64_t HistoryStore::Pragma(const char* name) {
  sqlite::Statement query(db_.get(), std::string("PRAGMA ").append(name));
  const std::int64_t value = query.Step() == SQLITE_ROW ? query.Integer(0) : 0;
  query.Reset();
  return value;
}

SpaceUse HistoryStore::Space() {
  SpaceUse space;
  if (!db_) return space;
  const std::int64_t pageSize = Pragma("page_size");
  const std::int64_t freePages = Pragma("freelist_count");
  space.usedBytes = (Pragma("page_count") - freePages) * pageSize;
  space.freeBytes = freePages * pageSize;
  std::error_code error;
  const auto journal = std::filesystem::file_size(path_ + "-wal", error);
  if (!error) space.journalBytes = static_cast<std::int64_t>(journal);
  return space;
}

OldestRows HistoryStore::Oldest() {
  OldestRows oldest;
  if (!db_) return oldest;
  // Host by host along the keys, not a scan of every row.
  sqlite::Statement samples(db_.get(),
                            "SELECT min((SELECT time FROM samples WHERE host = h.id"
                            " ORDER BY time LIMIT 1)) FROM hosts h");
  sqlite::Statement summaries(db_.get(),
                              "SELECT min((SELECT start FROM summaries WHERE host = h.id"
                              " AND span = ?1 ORDER BY start LIMIT 1)) FROM hosts h");
  const auto read = [](sqlite::Statement& query) -> std::optional<HistoryTime> {
    std::optional<HistoryTime> found;
    if (query.Step() == SQLITE_ROW && !query.IsNull(0)) found = query.Integer(0);
    query.Reset();
    return found;
  };
  oldest.samples = read(samples);
  oldest.fiveMinuteSummaries = read(summaries.Bind(1, HistorySummary::kFiveMinutes));
  oldest.hourlySummaries = read(summaries.Bind(1, HistorySummary::kHour));
  return oldest;
}

int HistoryStore::GiveSpaceBack(int pages) {
  if (!db_) return SQLITE_MISUSE;
  constexpr std::int64_t kIncremental = 2;
  if (Pragma("auto_vacuum") != kIncremental) return sqlite::Execute(db_.get(), "VACUUM");
  return sqlite::Execute(
      db_.get(),
      std::string("PRAGMA incremental_vacuum(").append(std::to_string(pages)).append(")").c_str());
}

int HistoryStore::LimitJournal(std::int64_t bytes) {
  if (!db_) return SQLITE_MISUSE;
  const std::int64_t pages = std::max<std::int64_t>(bytes / Pragma("page_size") / 2, 16);
  std::string limits("PRAGMA journal_size_limit=");
  limits.append(std::to_string(bytes)).append("; PRAGMA wal_autocheckpoint=");
  limits.append(std::to_string(pages));
  return sqlite::Execute(db_.get(), limits.c_str());
}

int HistoryStore::EmptyJournal() {
  if (!db_) return SQLITE_MISUSE;
  return sqlite::Execute(db_.get(), "PRAGMA wal_checkpoint(TRUNCATE)");
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

std::vector<HistorySummary> HistoryStore::Summaries(const std::string& host, HistoryTime span,
                                                    HistoryTime from, HistoryTime to) {
  std::vector<HistorySummary> found;
  if (!db_) return found;
  sqlite::Statement query(db_.get(),
                          "SELECT start, probes, failures, rtt_min, rtt_max, rtt_sum, histogram,"
                          " ok_ms, warning_ms, error_ms FROM summaries WHERE host = (SELECT id "
                          "FROM hosts WHERE key = ?1)"
                          " AND span = ?2 AND start >= ?3 AND start < ?4 ORDER BY start");
  query.Bind(1, KeyOf(host)).Bind(2, span).Bind(3, from).Bind(4, to);
  while (query.Step() == SQLITE_ROW)
    found.push_back({query.Integer(0),
                     span,
                     query.Integer(1),
                     query.Integer(2),
                     query.Integer(3),
                     query.Integer(4),
                     query.Integer(5),
                     RoundTripHistogram::Decode(query.Blob(6)).value_or(RoundTripHistogram{}),
                     {query.Integer(7), query.Integer(8), query.Integer(9)}});
  return found;
}

std::vector<HistoryChange> HistoryStore::Changes(HistoryTime from, HistoryTime to,
                                                 const std::string* host, std::int64_t limit) {
  return ChangesIn("SELECT c.time, h.name, c.before_status, c.after_status, c.text FROM changes c",
                   from, to, host, limit);
}

std::vector<HistoryChange> HistoryStore::QualityChanges(HistoryTime from, HistoryTime to,
                                                        const std::string* host) {
  return ChangesIn(
      "SELECT c.time, h.name, c.before_flags, c.after_flags, c.text FROM quality_changes c", from,
      to, host, -1);
}

std::vector<HistoryChange> HistoryStore::ChangesIn(const char* select, HistoryTime from,
                                                   HistoryTime to, const std::string* host,
                                                   std::int64_t limit) {
  std::vector<HistoryChange> found;
  if (!db_) return found;
  // One host's along the index on host and time: an "?3 IS NULL OR" test
  // keeps SQLite's planner to the index on time, through every host's changes.
  sqlite::Statement query(db_.get(), std::string(select)
                                         .append(" JOIN hosts h ON h.id = c.host WHERE ")
                                         .append(host ? "h.key = ?3 AND " : "")
                                         .append("c.time >= ?1 AND c.time < ?2"
                                                 " ORDER BY c.time DESC, c.rowid DESC LIMIT ?4"));
  // A negative limit is none, to SQLite.
  query.Bind(1, from).Bind(2, to).Bind(4, limit);
  if (host) query.Bind(3, KeyOf(*host));
  while (query.Step() == SQLITE_ROW)
    found.push_back({query.Integer(0), query.Text(1), static_cast<std::int32_t>(query.Integer(2)),
                     static_cast<std::int32_t>(query.Integer(3)), query.Text(4)});
  return found;
}

std::int64_t HistoryStore::ChangeCount(HistoryTime from, HistoryTime to, const std::string* host) {
  if (!db_) return 0;
  sqlite::Statement query(
      db_.get(), host ? "SELECT count(*) FROM changes WHERE host = (SELECT id FROM hosts WHERE"
                        " key = ?3) AND time >= ?1 AND time < ?2"
                      : "SELECT count(*) FROM changes WHERE time >= ?1 AND time < ?2");
  query.Bind(1, from).Bind(2, to);
  if (host) query.Bind(3, KeyOf(*host));
  return query.Step() == SQLITE_ROW ? query.Integer(0) : 0;
}

std::vector<std::string> HistoryStore::ChangedHosts(HistoryTime from, HistoryTime to) {
  std::vector<std::string> found;
  if (!db_) return found;
  // A look along the index on host and time per host: a few thousand hosts
  // cost less than a year of their changes.
  sqlite::Statement query(db_.get(),
                          "SELECT name FROM hosts h WHERE EXISTS (SELECT 1 FROM changes c"
                          " WHERE c.host = h.id AND c.time >= ?1 AND c.time < ?2) ORDER BY name");
  query.Bind(1, from).Bind(2, to);
  while (query.Step() == SQLITE_ROW) found.push_back(query.Text(0));
  return found;
}

std::vector<RouteTrace> HistoryStore::Routes(HistoryTime from, HistoryTime to,
                                             const std::string* host,
                                             std::optional<RouteReason> reason,
                                             std::int64_t limit) {
  std::vector<RouteTrace> found;
  if (!db_) return found;
  const std::string key = host ? KeyOf(*host) : "";
  if (route_store::Read(db_.get(), {from, to, host ? &key : nullptr, reason, limit}, found) ==
      SQLITE_NOMEM)
    throw std::bad_alloc();
  return found;
}

std::vector<WaitingAlert> HistoryStore::WaitingAlerts() {
  std::vector<WaitingAlert> found;
  if (!db_) return found;
  sqlite::Statement query(db_.get(),
                          "SELECT id, channel, kind, host, description, status, previous_status,"
                          " error, outage_start, outage_offset, outage_seconds, rtt, loss, time,"
                          " time_offset, computer FROM alert_queue ORDER BY id");
  const auto offset = [&](int column) { return static_cast<std::int32_t>(query.Integer(column)); };
  while (query.Step() == SQLITE_ROW) {
    WaitingAlert& w = found.emplace_back();
    w.id = static_cast<std::uint64_t>(query.Integer(0));
    w.channel = query.Text(1);
    AlertEvent& a = w.alert;
    a.kind = static_cast<AlertKind>(query.Integer(2));
    a.host = query.Text(3);
    a.description = query.Text(4);
    a.status = query.Text(5);
    a.previousStatus = query.Text(6);
    a.error = query.Text(7);
    a.outageStart = {query.Integer(8), offset(9)};
    a.outageSeconds = query.Integer(10);
    if (!query.IsNull(11)) a.roundTripMs = static_cast<std::uint32_t>(query.Integer(11));
    a.lossPercent = static_cast<std::uint32_t>(query.Integer(12));
    a.time = {query.Integer(13), offset(14)};
    a.computer = query.Text(15);
  }
  return found;
}

std::vector<AlertLogEntry> HistoryStore::AlertLog(HistoryTime from, HistoryTime to,
                                                  const AlertLogFilter& filter) {
  std::vector<AlertLogEntry> found;
  if (!db_) return found;
  // As for the changes: one host's along the index on host and time.
  sqlite::Statement query(db_.get(), std::string("SELECT time, channel, host, kind, outcome, text,"
                                                 " retry_at, given_up, late, outage_start,"
                                                 " outage_offset FROM alert_log WHERE ")
                                         .append(filter.host ? "host_key = ?3 AND " : "")
                                         .append(filter.outageStarts
                                                     // "+": along the index on outage starts
                                                     ? "+time >= ?1 AND +time < ?2 AND"
                                                       " outage_start BETWEEN ?5 AND ?6"
                                                     : "time >= ?1 AND time < ?2")
                                         .append(" AND (?4 IS NULL OR outage_start = ?4)"
                                                 " ORDER BY time DESC, rowid DESC"));
  query.Bind(1, from).Bind(2, to).Bind(4, filter.outageStart);
  if (filter.outageStarts)
    query.Bind(5, filter.outageStarts->first).Bind(6, filter.outageStarts->second);
  if (filter.host) query.Bind(3, KeyOf(*filter.host));
  while (query.Step() == SQLITE_ROW) {
    AlertLogEntry& e = found.emplace_back();
    e.at = query.Integer(0) / kMillisecondsPerSecond;
    e.channel = query.Text(1);
    e.host = query.Text(2);
    e.kind = static_cast<AlertKind>(query.Integer(3));
    e.outcome = static_cast<AttemptOutcome>(query.Integer(4));
    e.text = query.Text(5);
    if (!query.IsNull(6)) e.retryAt = query.Integer(6);
    e.givenUp = query.Integer(7) != 0;
    e.late = query.Integer(8) != 0;
    e.outageStart = {query.Integer(9), static_cast<std::int32_t>(query.Integer(10))};
  }
  return found;
}

}  // namespace kelvoran
