// A year of a large host list's history, scaled to what a bench can run, with
// the real writer (HistoryRecorder) on a simulated calendar clock:
//
//   history_year_bench writer-cpu [--hosts=5000] [--repeat=10] [--hours=1]
//       [--speed=10] [--seed-hours=25] [--budget-mb=auto]
//     The writer thread's processor time per simulated second at the full
//     rate (a tick a second, each committed), on a file seeded with 25 hours
//     of results and a budget it has just outgrown, so that budget deletes
//     and space given back run throughout. The simulated clock runs `speed`
//     times faster than the real one, and the writer's upkeep timers likewise.
//   history_year_bench year [--hosts=100] [--repeat=300] [--days=365]
//       [--budget-mb=hosts/5000*1024] [--settle-ms=20] [--keep=FILE] [--verbose=1]
//     A year at one result per host per repeat (every 5-minute summary
//     filled), with an outage a week per host and its two alerts, and a
//     budget in proportion to the hosts; the file with its journal against
//     the budget after every simulated day. After each simulated hour the
//     clock stands still for `settle-ms` of real time, the upkeep's share of
//     a real hour: without it a day's results come in a second and the
//     upkeep, which runs between commits, falls behind.
//   history_year_bench reads --store=FILE [--copies=50] [--samples=20] [--keep=FILE]
//       [--cold=0]
//     Widens the year's file to `copies` times its hosts (their rows copied
//     under new names) and adds a host with 30 days of 5-minute and a year of
//     hourly summaries, then times what the history window reads and reduces
//     for its first paint and a pan at 30 days and a year, and what the
//     outage log does before its first page, over a year and a week. A store
//     kept from an earlier run is read as it is with --copies=1; --cold=1
//     drops the system's file cache before each timed read (root only).
//
// Linux only: the writer's time is read from /proc/self/task.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/host_record.h"
#include "engine/probe_job.h"
#include "history/change_pages.h"
#include "history/history_recorder.h"
#include "history/range_summary.h"
#include "temp_dir.h"

namespace kelvoran {
namespace {

using RealClock = std::chrono::steady_clock;
constexpr HistoryTime kSecond = 1000, kMinute = 60 * kSecond, kHour = 60 * kMinute,
                      kDay = 24 * kHour;
// A multiple of every repeat used, so that the seeded results and the
// simulated ones fall in the same slots.
constexpr HistoryTime kYearStart = 1'800'000'000'000;
constexpr double kMegabyte = 1024.0 * 1024.0;

// --name=value arguments after the mode.
class Arguments {
 public:
  Arguments(int argc, char** argv) {
    for (int i = 2; i < argc; ++i) {
      const std::string arg = argv[i];
      const auto equals = arg.find('=');
      if (arg.rfind("--", 0) == 0 && equals != std::string::npos)
        values_[arg.substr(2, equals - 2)] = arg.substr(equals + 1);
    }
  }
  double Number(const std::string& name, double fallback) const {
    const auto found = values_.find(name);
    return found == values_.end() || found->second == "auto" ? fallback : std::stod(found->second);
  }
  std::string Text(const std::string& name) const {
    const auto found = values_.find(name);
    return found == values_.end() ? std::string() : found->second;
  }

 private:
  std::map<std::string, std::string> values_;
};

// The processor seconds of this process's threads but the calling one: the
// recorder's writer, as the bench starts no other and SQLite starts none.
double WriterCpuSeconds() {
  const std::string self = std::to_string(gettid());
  double ticks = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    if (task.path().filename() == self) continue;
    std::ifstream stat(task.path() / "stat");
    std::string line;
    std::getline(stat, line);
    // Fields 14 and 15 (utime, stime) counted from the one after the
    // command's closing parenthesis, which is field 3.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int n = 3; n <= 15 && fields >> field; ++n)
      if (n >= 14) ticks += std::stod(field);
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::int64_t SizeOf(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<std::int64_t>(size);
}

// The file with its journal, as the budget counts them.
std::int64_t FileBytes(const std::string& path) { return SizeOf(path) + SizeOf(path + "-wal"); }

double Megabytes(std::int64_t bytes) { return static_cast<double>(bytes) / kMegabyte; }

int Execute(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  const int code = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  if (code != SQLITE_OK) std::fprintf(stderr, "%s\n", error ? error : sqlite3_errstr(code));
  sqlite3_free(error);
  return code;
}

std::int64_t QueryInteger(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* query = nullptr;
  std::int64_t found = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &query, nullptr) == SQLITE_OK &&
      sqlite3_step(query) == SQLITE_ROW)
    found = sqlite3_column_int64(query, 0);
  sqlite3_finalize(query);
  return found;
}

// Hosts probed every `repeat`, each in a slot of its own within it, a slot
// per tick; one outage a week each (two failed results), at its own moment,
// told by one channel when it starts and when it ends.
class SimulatedHosts {
 public:
  SimulatedHosts(int count, HistoryTime repeat, HistoryTime tick)
      : slots_(repeat / tick),
        repeat_(repeat),
        tick_(tick),
        hosts_(static_cast<std::size_t>(count)) {
    for (int i = 0; i < count; ++i) {
      hosts_[static_cast<std::size_t>(i)].Host = "host" + std::to_string(i);
      hosts_[static_cast<std::size_t>(i)].Status = StatusOk;
    }
  }

  // The results of the tick that starts at `time`, handed over as the tick does.
  void Tick(HistoryRecorder& recorder, HistoryTime time) {
    const auto slot = static_cast<std::size_t>(time / tick_ % slots_);
    const HistoryTime round = time / repeat_;
    const auto weekly = static_cast<std::int64_t>(7 * kDay / repeat_);
    for (std::size_t i = slot; i < hosts_.size(); i += static_cast<std::size_t>(slots_)) {
      HostRecord& host = hosts_[i];
      const std::int64_t phase = (round + static_cast<std::int64_t>(i) * 7919) % weekly;
      const bool down = phase < 2;
      const std::uint64_t n = ++results_;
      const bool failed = down || n % 50 == 0;
      const std::int32_t before = host.Status;
      host.Status = down ? StatusError : StatusOk;
      const auto at = static_cast<CalendarTime>(time / 1000);
      recorder.ResultApplied(
          host,
          {.RoundTripTime = failed ? 0u : static_cast<std::uint32_t>(1 + (n * 7919) % 200),
           .ResultCode = failed ? 11010 : 0,
           .StartTime = at},
          before);
      if (host.Status == before) continue;
      AlertLogEntry told;
      told.at = at;
      told.channel = "Mail";
      told.host = host.Host;
      told.kind = down ? AlertKind::Down : AlertKind::OkAgain;
      told.text = "Sent.";
      told.outageStart = {down ? at : at - repeat_ / 1000 * 2, 0};
      recorder.Attempted(told);
    }
    recorder.TickEnded();
  }

 private:
  HistoryTime slots_, repeat_, tick_;
  std::vector<HostRecord> hosts_;
  std::uint64_t results_ = 0;
};

// A file holding `hours` of the hosts' results up to `end`, in the slots
// SimulatedHosts uses, with their summaries built by the store's own upgrade.
bool SeedStore(const std::string& path, int hosts, HistoryTime repeat, HistoryTime tick, int hours,
               HistoryTime end) {
  HistoryStore store;
  if (store.Open(path) != SQLITE_OK) return false;
  store.Close();
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  const std::int64_t perHost = hours * kHour / repeat, slots = repeat / tick;
  const HistoryTime first = end - hours * kHour;
  std::ostringstream sql;
  sql << "PRAGMA journal_mode=OFF; BEGIN;"
      << " WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " << hosts - 1
      << ") INSERT INTO hosts(id, key, name) SELECT i + 1, 'host' || i, 'host' || i FROM n;"
      << " WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < "
      << hosts * perHost - 1 << ") INSERT INTO samples SELECT i / " << perHost << " + 1, " << first
      << " + (i % " << perHost << " * " << slots << " + i / " << perHost << " % " << slots << ") * "
      << tick << ", CASE WHEN i % 50 = 0 THEN 11010 ELSE 0 END,"
      << " CASE WHEN i % 50 = 0 THEN 0 ELSE 1 + i * 7919 % 200 END, 0 FROM n;"
      << " DROP TABLE summaries; PRAGMA user_version = 2; COMMIT;";
  const int made = Execute(db, sql.str());
  sqlite3_close(db);
  if (made != SQLITE_OK) return false;
  const bool upgraded = store.Open(path) == SQLITE_OK;
  store.Close();
  return upgraded;
}

SpaceUse SpaceOf(const std::string& path) {
  HistoryStore store;
  if (store.Open(path) != SQLITE_OK) return {};
  const SpaceUse space = store.Space();
  store.Close();
  return space;
}

// How far back each kind reaches, and the free pages left in the file: the
// budget's deletes and space given back at work.
void PrintKept(HistoryRecorder& recorder, HistoryTime now) {
  recorder.Read([&](HistoryStore& store) {
    const OldestRows oldest = store.Oldest();
    const auto age = [&](std::optional<HistoryTime> t) {
      return t ? static_cast<double>(now - *t) / kDay : 0.0;
    };
    const SpaceUse space = store.Space();
    std::printf(
        "  kept: results %.2f days, 5-minute summaries %.1f days, hourly %.1f days;"
        " %.1f MB in use, %.1f MB free, journal %.1f MB\n",
        age(oldest.samples), age(oldest.fiveMinuteSummaries), age(oldest.hourlySummaries),
        Megabytes(space.usedBytes), Megabytes(space.freeBytes), Megabytes(space.journalBytes));
  });
}

int WriterCpu(const Arguments& args) {
  const int hosts = static_cast<int>(args.Number("hosts", 5000));
  const HistoryTime repeat = static_cast<HistoryTime>(args.Number("repeat", 10)) * kSecond;
  const double hours = args.Number("hours", 1), speed = args.Number("speed", 10);
  const int seedHours = static_cast<int>(args.Number("seed-hours", 25));
  testing::TempDir dir;
  const std::string path = dir.File("KELVORAN.HISTORY");
  std::atomic<HistoryTime> now = kYearStart;
  const auto seeding = RealClock::now();
  if (!SeedStore(path, hosts, repeat, kSecond, seedHours, now)) return 1;
  const SpaceUse seeded = SpaceOf(path);
  // Just outgrown: the rows are past 95 % of what the budget leaves them.
  const auto fitting =
      static_cast<std::int64_t>(static_cast<double>(seeded.usedBytes) / 0.95 * 0.98);
  const DiskBudget budget{args.Text("budget-mb").empty() || args.Text("budget-mb") == "auto"
                              ? fitting + DiskBudget{fitting}.JournalAllowance()
                              : static_cast<std::int64_t>(args.Number("budget-mb", 0) * kMegabyte)};
  std::printf("seeded %d h of %d hosts every %lld s in %.0f s: %.1f MB in use; budget %.1f MB\n",
              seedHours, hosts, static_cast<long long>(repeat / kSecond),
              std::chrono::duration<double>(RealClock::now() - seeding).count(),
              Megabytes(seeded.usedBytes), Megabytes(budget.bytes));

  HistoryOptions options;
  options.budget = budget;
  options.now = [&now] { return now.load(); };
  const auto scaled = [speed](std::chrono::milliseconds real) {
    return std::chrono::milliseconds(
        static_cast<std::int64_t>(static_cast<double>(real.count()) / speed));
  };
  options.passEvery = scaled(std::chrono::hours(1));
  options.spaceCheckEvery = scaled(std::chrono::seconds(10));
  HistoryRecorder recorder(path, options);
  if (!recorder.Flush()) return 1;
  SimulatedHosts simulated(hosts, repeat, kSecond);
  const double cpuBefore = WriterCpuSeconds();
  const auto began = RealClock::now();
  const auto seconds = static_cast<std::int64_t>(hours * 3600);
  std::int64_t largest = 0, late = 0;
  double cpuAtMark = cpuBefore;
  for (std::int64_t second = 1; second <= seconds; ++second) {
    simulated.Tick(recorder, now);
    if (!recorder.Flush()) return 1;
    now += kSecond;
    largest = std::max(largest, FileBytes(path));
    const auto due = began + scaled(std::chrono::milliseconds(second * 1000));
    if (RealClock::now() > due) ++late;
    std::this_thread::sleep_until(due);
    if (second % 600 == 0) {
      const double cpu = WriterCpuSeconds();
      std::printf("  %6.2f h: file %.1f MB, writer %.2f %% of a core over the last 10 min\n",
                  static_cast<double>(second) / 3600, Megabytes(FileBytes(path)),
                  (cpu - cpuAtMark) / 600 * 100);
      std::fflush(stdout);
      cpuAtMark = cpu;
    }
  }
  const double cpu = WriterCpuSeconds() - cpuBefore;
  const double simulatedSeconds = static_cast<double>(seconds);
  const auto rate = static_cast<double>(hosts) / static_cast<double>(repeat / kSecond);
  std::printf(
      "writer-cpu: %.0f results/s for %.2f simulated h (%.0f s real, %lld of %lld ticks late):\n"
      "  writer %.2f s of processor = %.2f %% of one core per simulated second"
      " (%.1f us per result)\n  file+journal largest %.1f MB, budget %.1f MB\n",
      rate, hours, std::chrono::duration<double>(RealClock::now() - began).count(),
      static_cast<long long>(late), static_cast<long long>(seconds), cpu,
      cpu / simulatedSeconds * 100, cpu / (simulatedSeconds * rate) * 1e6, Megabytes(largest),
      Megabytes(budget.bytes));
  PrintKept(recorder, now);
  return 0;
}

// Waits for the writer's upkeep to bring the file within the budget.
bool FitsWithin(const std::string& path, std::int64_t budget, std::chrono::seconds wait) {
  const auto deadline = RealClock::now() + wait;
  while (FileBytes(path) > budget && RealClock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return FileBytes(path) <= budget;
}

int Year(const Arguments& args) {
  const int hosts = static_cast<int>(args.Number("hosts", 100));
  const HistoryTime repeat = static_cast<HistoryTime>(args.Number("repeat", 300)) * kSecond;
  const int days = static_cast<int>(args.Number("days", 365));
  const bool verbose = args.Number("verbose", 0) != 0;
  const auto upkeepTime = std::chrono::milliseconds(static_cast<int>(args.Number("settle-ms", 20)));
  const auto budget =
      static_cast<std::int64_t>(args.Number("budget-mb", 1024.0 * hosts / 5000) * kMegabyte);
  testing::TempDir dir;
  const std::string path =
      args.Text("keep").empty() ? dir.File("KELVORAN.HISTORY") : args.Text("keep");
  std::atomic<HistoryTime> now = kYearStart;
  HistoryOptions options;
  options.budget.bytes = budget;
  options.now = [&now] { return now.load(); };
  // A simulated day takes a second or two: the retention pass runs a few
  // times a simulated day, the space is looked at every few minutes.
  options.passEvery = std::chrono::milliseconds(200);
  options.spaceCheckEvery = std::chrono::milliseconds(10);
  HistoryRecorder recorder(path, options);
  SimulatedHosts simulated(hosts, repeat, kMinute);
  const double cpuBefore = WriterCpuSeconds();
  const auto began = RealClock::now();
  std::int64_t largestAtDayEnd = 0, largestSettled = 0, overDays = 0;
  double longestSettle = 0;
  for (int day = 1; day <= days; ++day) {
    for (int minute = 0; minute < 24 * 60; ++minute) {
      simulated.Tick(recorder, now);
      now += kMinute;
      // Commits of an hour's results at most, as a writer that keeps up
      // makes; then, if asked, time for the upkeep as real hours leave it.
      if (minute % 60 != 59) continue;
      if (!recorder.Flush()) return 1;
      std::this_thread::sleep_for(upkeepTime);
    }
    const std::int64_t atEnd = FileBytes(path), journalAtEnd = SizeOf(path + "-wal");
    const auto settling = RealClock::now();
    const bool fits = FitsWithin(path, budget, std::chrono::seconds(30));
    const double settle = std::chrono::duration<double>(RealClock::now() - settling).count();
    largestAtDayEnd = std::max(largestAtDayEnd, atEnd);
    largestSettled = std::max(largestSettled, FileBytes(path));
    longestSettle = std::max(longestSettle, settle);
    if (!fits) ++overDays;
    if (day % 30 == 0 || !fits || (verbose && atEnd > budget)) {
      std::printf(
          "  day %3d: %.1f MB (journal %.1f) at its end, %.1f MB after %.2f s of upkeep%s\n", day,
          Megabytes(atEnd), Megabytes(journalAtEnd), Megabytes(FileBytes(path)), settle,
          fits ? "" : " OVER");
      std::fflush(stdout);
    }
  }
  const double cpu = WriterCpuSeconds() - cpuBefore;
  const double results = static_cast<double>(hosts * days * (kDay / repeat));
  std::printf(
      "year: %d hosts every %lld s for %d days (%.0f results) in %.0f s real; budget %.1f MB\n"
      "  file+journal at a day's end: largest %.1f MB; once upkeep caught up: largest %.1f MB"
      " (longest wait %.2f s); days over the budget after 30 s: %lld\n"
      "  writer %.0f s of processor, %.1f us per result\n",
      hosts, static_cast<long long>(repeat / kSecond), days, results,
      std::chrono::duration<double>(RealClock::now() - began).count(), Megabytes(budget),
      Megabytes(largestAtDayEnd), Megabytes(largestSettled), longestSettle,
      static_cast<long long>(overDays), cpu, cpu / results * 1e6);
  PrintKept(recorder, now);
  return overDays == 0 ? 0 : 2;
}

// Copies every host's rows `copies - 1` times under new names, so that a
// year written for a tenth of the hosts holds the rows of all of them.
bool Widen(const std::string& path, int copies) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  const std::int64_t last = QueryInteger(db, "SELECT max(id) FROM hosts");
  std::ostringstream sql;
  const auto copy = [&](const std::string& into, const std::string& columns,
                        const std::string& table) {
    sql << "WITH RECURSIVE c(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM c WHERE k < " << copies - 1
        << ") INSERT INTO " << into << " SELECT " << columns << " FROM c CROSS JOIN " << table
        << " ORDER BY k;";
  };
  const std::string shifted = "host + k * " + std::to_string(last);
  sql << "PRAGMA journal_mode=OFF; BEGIN;";
  copy("hosts(id, key, name)",
       "id + k * " + std::to_string(last) + ", key || '-' || k, name || '-' || k", "hosts");
  copy("samples", shifted + ", time, code, rtt, status", "samples");
  copy("summaries",
       shifted +
           ", span, start, probes, failures, rtt_min, rtt_max, rtt_sum, histogram, ok_ms,"
           " warning_ms, error_ms",
       "summaries");
  copy("changes", "time, " + shifted + ", before_status, after_status, text", "changes");
  copy("alert_log",
       "time, channel, host || '-' || k, host_key || '-' || k, kind, outcome, text, retry_at,"
       " given_up, late, outage_start, outage_offset",
       "alert_log");
  sql << "COMMIT; PRAGMA journal_mode=WAL;";
  const int code = Execute(db, sql.str());
  sqlite3_close(db);
  return code == SQLITE_OK;
}

// What the windows do with the alert log: its lines grouped by outage.
std::size_t GroupAlerts(const HistoryQueries& queries, HistoryTime from, const std::string* host,
                        std::optional<std::pair<CalendarTime, CalendarTime>> starts = {}) {
  AlertLogFilter filter;
  filter.host = host;
  filter.outageStarts = starts;
  std::map<std::pair<std::string, CalendarTime>, std::vector<AlertLogEntry>> byOutage;
  for (AlertLogEntry& entry :
       queries.alertLog(from, INT64_MAX, filter).value_or(std::vector<AlertLogEntry>{}))
    byOutage[{entry.host, entry.outageStart.utc}].push_back(std::move(entry));
  return byOutage.size();
}

// The history window's reads and reductions for the range [from, to) after
// reading [loadFrom, loadTo): the summaries and the host's changes, the
// graph's columns, the range's figures, its outages and their alerts.
std::size_t ShowRange(const HistoryQueries& queries, const std::string& host, HistoryTime span,
                      HistoryTime loadFrom, HistoryTime loadTo, HistoryTime from, HistoryTime to) {
  const auto summaries = queries.summaries(host, span, loadFrom - span, loadTo)
                             .value_or(std::vector<HistorySummary>{});
  const auto changes = queries.changes(loadFrom - kOutageLookBack, loadTo, &host)
                           .value_or(std::vector<HistoryChange>{});
  const std::vector<HistoryChange> oldestFirst(changes.rbegin(), changes.rend());
  const std::vector<PlotColumn> columns = PlotSummaryColumns(summaries, oldestFirst, from, to, 700);
  const auto shown = std::partition_point(summaries.begin(), summaries.end(),
                                          [&](const HistorySummary& s) { return s.start < from; });
  const RangeSummary figures = SummariseSummaries({shown, summaries.end()});
  const auto outages = HostOutages(queries, host, from, to);
  return columns.size() + static_cast<std::size_t>(figures.probes > 0) +
         outages.value_or(std::vector<RecordedOutage>{}).size() + GroupAlerts(queries, from, &host);
}

double Milliseconds(RealClock::time_point since) {
  return std::chrono::duration<double, std::milli>(RealClock::now() - since).count();
}

void PrintTimes(const char* what, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  std::printf("  %-48s median %7.1f ms, max %7.1f ms (%zu runs)\n", what, times[times.size() / 2],
              times.back(), times.size());
}

// What the outage log does before it shows its first page, with the time of
// each step: listing the hosts for the choice, counting the changes and
// reading the first page with their durations, reading and grouping the alert
// lines of that page's outages.
std::size_t OpenOutageLog(const HistoryQueries& queries, HistoryTime from, HistoryTime now,
                          std::vector<std::vector<double>>& steps) {
  steps.resize(3);
  auto began = RealClock::now();
  const std::size_t hosts =
      queries.changedHosts(from, now + 1).value_or(std::vector<std::string>{}).size();
  steps[0].push_back(Milliseconds(began));
  began = RealClock::now();
  ChangePages pages(queries, from, now + 1, std::nullopt);
  std::optional<std::pair<HistoryTime, HistoryTime>> firstPage;
  pages.onPage = [&](HistoryTime oldest, HistoryTime newest) {
    if (!firstPage) firstPage = {oldest, newest};
  };
  const bool read = pages.Row(0) != nullptr;
  steps[1].push_back(Milliseconds(began));
  began = RealClock::now();
  const std::size_t alerts =
      firstPage ? GroupAlerts(queries, 0, nullptr,
                              std::pair(firstPage->first / 1000, firstPage->second / 1000))
                : 0;
  steps[2].push_back(Milliseconds(began));
  return pages.Count() + hosts + alerts + read;
}

// Adds a host whose summaries were never cut: 30 days of 5-minute ones and a
// year of hourly ones, the most a window of either range reads.
std::string AddHostWithEverySummary(sqlite3* db, HistoryTime now) {
  if (QueryInteger(db, "SELECT count(*) FROM hosts WHERE key = 'every-summary'") > 0)
    return "every-summary";  // a store kept from an earlier run
  std::ostringstream sql;
  sql << "BEGIN; INSERT INTO hosts(key, name) VALUES ('every-summary', 'every-summary');";
  for (const auto& [span, count, probes] : {std::tuple(HistorySummary::kFiveMinutes, 30 * 288, 30),
                                            std::tuple(HistorySummary::kHour, 365 * 24, 360)})
    sql << "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " << count
        << ") INSERT INTO summaries SELECT (SELECT id FROM hosts WHERE key = 'every-summary'), "
        << span << ", " << now - now % span << " - i * " << span << ", " << probes
        << ", 1, 5, 180, " << probes * 60
        << ", (SELECT histogram FROM summaries WHERE span = 3600000 LIMIT 1), " << span
        << ", 0, 0 FROM n;";
  sql << "INSERT INTO changes SELECT time, (SELECT id FROM hosts WHERE key = 'every-summary'),"
         " before_status, after_status, text FROM changes WHERE host = 1; COMMIT;";
  return Execute(db, sql.str()) == SQLITE_OK ? "every-summary" : "";
}

// With --cold=1, each timed read starts with the file out of the system's
// cache, as after a restart of the machine (root only).
bool coldReads = false;
void StartRead() {
  if (!coldReads) return;
  sync();
  std::ofstream("/proc/sys/vm/drop_caches") << "1\n";
}

// The history window's first paint and a pan step of each host, at 30 days
// and a year.
std::size_t TimeHistoryWindow(const HistoryQueries& queries, const std::vector<std::string>& hosts,
                              HistoryTime now, const std::string& which) {
  std::size_t made = 0;
  for (const auto& [days, span] :
       {std::pair(30, HistorySummary::kFiveMinutes), std::pair(365, HistorySummary::kHour)}) {
    const HistoryTime width = days * kDay, from = now - width;
    std::vector<double> firstPaints, pans;
    for (const std::string& host : hosts) {
      StartRead();
      auto began = RealClock::now();
      made += ShowRange(queries, host, span, from, now, from, now);
      firstPaints.push_back(Milliseconds(began));
      // A step back by a tenth: past what is loaded, so three widths are read.
      const HistoryTime step = width / 10;
      began = RealClock::now();
      made += ShowRange(queries, host, span, from - step - width,
                        std::min(now - step + width, now + 1), from - step, now - step);
      pans.push_back(Milliseconds(began));
    }
    const std::string range = (days == 30 ? "30 days, " : "1 year, ") + which;
    PrintTimes(("window first paint, " + range).c_str(), firstPaints);
    PrintTimes(("window pan step reading, " + range).c_str(), pans);
  }
  return made;
}

int Reads(const Arguments& args) {
  const int copies = static_cast<int>(args.Number("copies", 50));
  const int timed = static_cast<int>(args.Number("samples", 20));
  coldReads = args.Number("cold", 0) != 0;
  testing::TempDir dir;
  const std::string path =
      args.Text("keep").empty() ? dir.File("KELVORAN.HISTORY") : args.Text("keep");
  std::filesystem::copy_file(args.Text("store"), path);
  const auto widening = RealClock::now();
  if (copies > 1 && !Widen(path, copies)) return 1;
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  const HistoryTime now = QueryInteger(db, "SELECT max(time) FROM changes") + kHour;
  const std::int64_t hostCount = QueryInteger(db, "SELECT count(*) FROM hosts");
  std::printf(
      "store: %lld hosts, %lld results, %lld summaries, %lld changes, %lld alert lines,"
      " %.1f MB (widened in %.0f s)\n",
      static_cast<long long>(hostCount),
      static_cast<long long>(QueryInteger(db, "SELECT count(*) FROM samples")),
      static_cast<long long>(QueryInteger(db, "SELECT count(*) FROM summaries")),
      static_cast<long long>(QueryInteger(db, "SELECT count(*) FROM changes")),
      static_cast<long long>(QueryInteger(db, "SELECT count(*) FROM alert_log")),
      Megabytes(FileBytes(path)), Milliseconds(widening) / 1000);
  std::vector<std::string> hosts;
  for (int i = 0; i < timed; ++i)
    hosts.push_back(std::to_string(
        QueryInteger(db, "SELECT id FROM hosts ORDER BY id LIMIT 1 OFFSET " +
                             std::to_string(hostCount * (2 * i + 1) / (2 * timed)))));
  for (std::string& host : hosts) {
    sqlite3_stmt* name = nullptr;
    sqlite3_prepare_v2(db, ("SELECT name FROM hosts WHERE id = " + host).c_str(), -1, &name,
                       nullptr);
    if (sqlite3_step(name) == SQLITE_ROW)
      host = reinterpret_cast<const char*>(sqlite3_column_text(name, 0));
    sqlite3_finalize(name);
  }
  const std::string fullHost = AddHostWithEverySummary(db, now);
  sqlite3_close(db);

  HistoryOptions options;
  options.now = [now] { return now; };
  HistoryRecorder recorder(path, options);
  recorder.Flush();
  const HistoryQueries queries = recorder.Queries();
  std::size_t made = TimeHistoryWindow(queries, hosts, now, "hosts as kept");
  made +=
      TimeHistoryWindow(queries, std::vector<std::string>(5, fullHost), now, "every summary kept");
  for (const int days : {7, 365}) {
    std::vector<double> opens;
    std::vector<std::vector<double>> steps;
    for (int run = 0; run < 5; ++run) {
      StartRead();
      const auto began = RealClock::now();
      made += OpenOutageLog(queries, now - days * kDay, now, steps);
      opens.push_back(Milliseconds(began));
    }
    PrintTimes(("outage log first page, last " + std::to_string(days) + " days").c_str(), opens);
    const char* names[] = {"hosts listed", "changes counted, first page read",
                           "its alert lines read, grouped"};
    for (std::size_t step = 0; step < steps.size(); ++step)
      PrintTimes((std::string("  of which ") + names[step]).c_str(), steps[step]);
  }
  return made > 0 ? 0 : 1;
}

int Run(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const Arguments args(argc, argv);
  if (mode == "writer-cpu") return WriterCpu(args);
  if (mode == "year") return Year(args);
  if (mode == "reads") return Reads(args);
  std::fprintf(stderr, "usage: %s writer-cpu|year|reads [--name=value ...]\n", argv[0]);
  return 64;
}

}  // namespace
}  // namespace kelvoran

int main(int argc, char** argv) { return kelvoran::Run(argc, argv); }
