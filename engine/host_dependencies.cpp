#include "engine/host_dependencies.h"

#include <algorithm>
#include <utility>

#include "engine/host_record.h"
#include "engine/host_rows.h"
#include "engine/probe_job.h"
#include "portable/profile_text.h"

namespace kelvoran {
namespace {

// The list's hosts by the settings file's name rule (the rule that keeps two
// rows from sharing a name), to the row that holds each.
std::unordered_map<std::string, int> RowsByName(HostRows& rows) {
  std::unordered_map<std::string, int> byName;
  for (int row = 0; row < rows.RowCount(); ++row)
    byName.emplace(ProfileText::SectionKey(rows.RecordAt(row).Host), row);
  return byName;
}

// The longest a host takes from failing to reaching ERROR: its next probe a
// delay away, a run of failures for its fail period (or of replies for its
// success period, for one on its way back), the probe that ends it a delay
// later, and that probe's timeout. Values of a hand-edited file are bounded,
// so the sum cannot overflow and an outage waits a day at the most.
constexpr CalendarTime kDay = 24 * 60 * 60;

CalendarTime TimeToFail(const HostRecord& host) {
  const auto bounded = [](std::int32_t seconds) {
    return std::clamp<CalendarTime>(seconds, 0, kDay);
  };
  const CalendarTime period = std::max(bounded(host.FailPeriod), bounded(host.SuccessPeriod));
  return std::min(2 * bounded(host.Delay) + period + bounded(host.Timeout), kDay);
}

// Ticks come about once a second and start times are whole seconds.
constexpr CalendarTime kTickSlack = 2;

std::string Joined(const std::vector<std::string>& names, const char* separator) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : separator) + name;
  return text;
}

}  // namespace

std::string DependencyLoopText(HostRows& rows, std::int32_t hostId, const std::string& host,
                               const std::string& parent) {
  const auto byName = RowsByName(rows);
  std::vector<std::string> path{host};
  std::set<int> visited;
  for (std::string next = parent; !next.empty();) {
    path.push_back(next);
    if (ProfileText::SameSectionName(next, host)) return Joined(path, " -> ");
    const auto found = byName.find(ProfileText::SectionKey(next));
    if (found == byName.end() || !visited.insert(found->second).second) return {};
    const HostRecord& record = rows.RecordAt(found->second);
    if (record.HostId == hostId) {
      path.back() = host;
      return Joined(path, " -> ");
    }
    next = record.DependsOn;
  }
  return {};
}

std::vector<int> RowsDependingOn(HostRows& rows, const std::string& host) {
  std::vector<int> found;
  for (int row = 0; row < rows.RowCount(); ++row) {
    const std::string& parent = rows.RecordAt(row).DependsOn;
    if (!parent.empty() && ProfileText::SameSectionName(parent, host)) found.push_back(row);
  }
  return found;
}

PopupSenders HostDependencies::Guard(PopupSenders inner) {
  inner_ = std::move(inner);
  return {[this](HostRecord& host) { return SendDown(host); },
          [this](HostRecord& host, CalendarTime outage) { return SendOkAgain(host, outage); },
          [this](const HostRecord& host, const StatusEdge& edge) { EdgeSeen(host, edge); }};
}

void HostDependencies::Attach(HostRows& rows) {
  rows_ = &rows;
  stale_ = true;
}

HostRecord* HostDependencies::Record(std::int32_t hostId, int* rowOut) {
  const int row = rows_->FindRowByHostId(hostId);
  if (rowOut) *rowOut = row;
  return row < 0 ? nullptr : &rows_->RecordAt(row);
}

const HostRecord* HostDependencies::DownAncestor(const HostRecord& host) { return Walk(host).down; }

HostDependencies::Ancestry HostDependencies::Walk(const HostRecord& host) {
  Ancestry ancestry;
  if (!rows_) return ancestry;
  if (stale_) ReadLinks();
  // The links hold no loop, so the walk ends; the bound is for a list that
  // changed without ListChanged.
  std::int32_t id = host.HostId;
  for (std::size_t step = 0; step <= parentOf_.size(); ++step) {
    const auto link = parentOf_.find(id);
    if (link == parentOf_.end()) break;
    const HostRecord* parent = Record(link->second);
    if (!parent) break;
    if (parent->Status == StatusError) ancestry.down = parent;
    ancestry.allOk = ancestry.allOk && parent->Status == StatusOk;
    ancestry.earliestProbe =
        step == 0 ? parent->LastProbeTime : std::min(ancestry.earliestProbe, parent->LastProbeTime);
    ancestry.lastProbe = std::max(ancestry.lastProbe, parent->LastProbeTime);
    ancestry.slowestToFail = std::max(ancestry.slowestToFail, TimeToFail(*parent));
    id = parent->HostId;
  }
  return ancestry;
}

void HostDependencies::ReadLinks() {
  stale_ = false;
  recheck_ = true;
  parentOf_.clear();
  std::set<std::string> notices;
  const auto byName = RowsByName(*rows_);
  for (int row = 0; row < rows_->RowCount(); ++row) {
    const HostRecord& host = rows_->RecordAt(row);
    if (host.DependsOn.empty()) continue;
    const auto found = byName.find(ProfileText::SectionKey(host.DependsOn.str()));
    if (found == byName.end())
      notices.insert(host.Host + " depends on " + host.DependsOn.str() +
                     ", which is not in the list: the dependency is ignored.");
    else
      parentOf_[host.HostId] = rows_->RecordAt(found->second).HostId;
  }
  DropLoops(notices);
  for (const std::string& notice : notices)
    if (!told_.contains(notice)) notices_.push_back(notice);
  told_ = std::move(notices);
}

// Each host is walked from once: a walk that comes back to a host of its own
// path has found a loop, whose links are all dropped.
void HostDependencies::DropLoops(std::set<std::string>& notices) {
  std::unordered_map<std::int32_t, int> walkOf;
  int walk = 0;
  std::vector<std::int32_t> inLoops;
  for (const auto& [start, unused] : parentOf_) {
    ++walk;
    std::vector<std::int32_t> path;
    for (std::int32_t id = start;;) {
      const auto [seen, fresh] = walkOf.emplace(id, walk);
      if (!fresh) {
        if (seen->second == walk) {
          const auto loop = std::find(path.begin(), path.end(), id);
          notices.insert(LoopNotice({loop, path.end()}));
          inLoops.insert(inLoops.end(), loop, path.end());
        }
        break;
      }
      path.push_back(id);
      const auto link = parentOf_.find(id);
      if (link == parentOf_.end()) break;
      id = link->second;
    }
  }
  for (const std::int32_t id : inLoops) parentOf_.erase(id);
}

// Told from the host added first, so that the same loop reads the same
// whichever host the walk came in by.
std::string HostDependencies::LoopNotice(std::vector<std::int32_t> loop) {
  std::rotate(loop.begin(), std::min_element(loop.begin(), loop.end()), loop.end());
  std::vector<std::string> names;
  for (const std::int32_t id : loop)
    if (const HostRecord* host = Record(id)) names.push_back(host->Host);
  if (!names.empty()) names.push_back(names.front());
  return "A loop of dependencies (" + Joined(names, " -> ") + "): these dependencies are ignored.";
}

std::optional<std::string> HostDependencies::TakeNotice() {
  if (notices_.empty()) return std::nullopt;
  std::string notice = std::move(notices_.front());
  notices_.erase(notices_.begin());
  return notice;
}

void HostDependencies::Mark(std::int32_t hostId, const std::string& downHost) {
  if (HostRecord* host = Record(hostId)) host->UnreachableBehind = downHost;
}

void HostDependencies::EdgeSeen(const HostRecord& host, const StatusEdge& edge) {
  endedHeld_ = 0;
  if (edge.kind == StatusEdge::Kind::Down) {
    const Ancestry ancestry = Walk(host);
    if (ancestry.down) {
      held_[host.HostId] = Held{edge, false, std::nullopt, std::nullopt};
      Mark(host.HostId, ancestry.down->Host);
      return;
    }
    // Even a host in front seen OK may fail in this very tick, after this
    // host's result: at the least it waits for the tick's end.
    if (parentOf_.contains(host.HostId)) {
      held_[host.HostId] =
          Held{edge, false, std::nullopt, edge.at + ancestry.slowestToFail + kTickSlack};
      return;
    }
    // An outage a reset ended unseen must not hold this one's popup.
    held_.erase(host.HostId);
  } else if (const auto held = held_.find(host.HostId); held != held_.end()) {
    const Held ended = held->second;
    held_.erase(held);
    Mark(host.HostId, {});
    endedHeld_ = host.HostId;
    if (!ended.decideBy) return;
    // Over before any host in front was seen down: it is told after all.
    StatusEdge down = ended.edge;
    down.resultsTold = true;
    if (inner_.edges) inner_.edges(host, down);
  }
  if (inner_.edges) inner_.edges(host, edge);
}

std::int32_t HostDependencies::SendDown(HostRecord& host) {
  if (const auto held = held_.find(host.HostId); held != held_.end()) {
    held->second.popup = true;
    return host.ResultCode;
  }
  return inner_.down ? inner_.down(host) : host.ResultCode;
}

std::int32_t HostDependencies::SendOkAgain(HostRecord& host, CalendarTime outage) {
  if (std::exchange(endedHeld_, 0) == host.HostId) return host.ResultCode;
  return inner_.okAgain ? inner_.okAgain(host, outage) : host.ResultCode;
}

// A held host is still down once it fails a probe started after every host in
// front of it was seen up again: one that was merely not probed since then
// may well be back, and would send the very alerts the hold is there to spare.
// Start times are whole seconds: a probe of the same second as the one that
// saw the router back may have gone out before it, so it does not count.
void HostDependencies::ResultApplied(const HostRecord& host, const ProbeResult& result,
                                     std::int32_t statusBefore) {
  if (statusBefore == StatusError && host.Status != StatusError) recheck_ = true;
  const auto held = held_.find(host.HostId);
  if (held == held_.end() || !held->second.clearFrom || result.ResultCode == 0 ||
      result.StartTime <= *held->second.clearFrom)
    return;
  int row = -1;
  HostRecord* record = Record(host.HostId, &row);
  if (!record) return;
  if (const HostRecord* down = DownAncestor(host)) {
    held->second.clearFrom.reset();
    Mark(host.HostId, down->Host);
    rows_->FormatRow(row);
    return;
  }
  const Held released = held->second;
  held_.erase(held);
  Release(*record, row, released);
}

void HostDependencies::TickEnded() {
  if (!rows_) return;
  if (stale_) ReadLinks();
  DecideWaitingOutages();
  if (!std::exchange(recheck_, false)) return;
  for (auto held = held_.begin(); held != held_.end();) {
    if (held->second.decideBy) {
      ++held;
      continue;
    }
    int row = -1;
    HostRecord* host = Record(held->first, &row);
    // Deleted, or reset: the outage held is over without a word.
    if (!host || host->OutageStart != held->second.edge.outageStart) {
      if (host) host->UnreachableBehind.clear();
      held = held_.erase(held);
      continue;
    }
    const Ancestry ancestry = Walk(*host);
    const std::string downHost = ancestry.down ? ancestry.down->Host : std::string();
    if (ancestry.down)
      held->second.clearFrom.reset();
    else if (!held->second.clearFrom)
      held->second.clearFrom = ancestry.lastProbe;
    if (host->UnreachableBehind != downHost) {
      host->UnreachableBehind = downHost;
      rows_->FormatRow(row);
    }
    ++held;
  }
}

// The outages that began behind hosts not then down: held from the moment
// one of them is in ERROR; sent once all are seen OK by probes started since
// the outage began, or when the wait is up.
void HostDependencies::DecideWaitingOutages() {
  if (held_.empty()) return;
  const CalendarTime now = now_();
  for (auto held = held_.begin(); held != held_.end();) {
    Held& waiting = held->second;
    if (!waiting.decideBy) {
      ++held;
      continue;
    }
    int row = -1;
    HostRecord* host = Record(held->first, &row);
    // Deleted, or reset: the outage is over without a word.
    if (!host || host->OutageStart != waiting.edge.outageStart) {
      held = held_.erase(held);
      continue;
    }
    const Ancestry ancestry = Walk(*host);
    if (ancestry.down) {
      waiting.decideBy.reset();
      Mark(held->first, ancestry.down->Host);
      rows_->FormatRow(row);
      ++held;
      continue;
    }
    const bool seenUp = ancestry.allOk && ancestry.earliestProbe >= waiting.edge.at;
    if (!seenUp && now < *waiting.decideBy) {
      ++held;
      continue;
    }
    const Held released = waiting;
    held = held_.erase(held);
    Release(*host, row, released);
  }
}

void HostDependencies::Release(HostRecord& host, int row, const Held& held) {
  host.UnreachableBehind.clear();
  StatusEdge edge = held.edge;
  edge.resultsTold = true;
  if (inner_.edges) inner_.edges(host, edge);
  // A host back in WARNING within its outage has its popup sent on its next
  // entry into ERROR, as the accounting calls the sender then.
  if (held.popup && host.Status == StatusError && inner_.down) inner_.down(host);
  rows_->FormatRow(row);
}

}  // namespace kelvoran
