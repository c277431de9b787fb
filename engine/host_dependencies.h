#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/popup_sender.h"
#include "engine/result_sink.h"
#include "engine/scheduler.h"

namespace kelvoran {

class HostRecord;
class HostRows;

// The loop a host would close by depending on `parent`, as "a -> b -> a";
// empty when it closes none. The host is the record with `hostId`, named
// `host` once edited (a new host's id is in no row). A dependency on a host
// not in the list closes no loop, nor does one that runs into a loop of
// other hosts.
std::string DependencyLoopText(HostRows& rows, std::int32_t hostId, const std::string& host,
                               const std::string& parent);

// The rows whose DependsOn names `host`, by the settings file's name rule.
std::vector<int> RowsDependingOn(HostRows& rows, const std::string& host);

// "Depends on": while any host a host depends on, directly or through others,
// is in ERROR, that host's outage is held back: its down alert and its popup
// are not sent, and its row says which host is down. The status, counters and
// history go on as ever. Once no host in front of it is in ERROR any more,
// the first failed probe it starts from then on sends what was held; an
// outage that ends before that sends nothing, its OK-again messages
// included.
//
// A router that fails is seen to fail only at its own next probe, and in
// ERROR only once its fail period has passed, while the hosts behind it may
// have failed a moment earlier. So an outage that begins while no host in
// front is in ERROR waits: it is held if one of them enters ERROR, and sent
// once each has answered a probe started since the outage began and is OK,
// or at the latest once the slowest of them would have reached ERROR had it
// failed (its delay twice, its timeout and its longer period, and a little
// more for the ticks). An outage that ends while it waits is sent, down and
// OK-again, as no host in front explains it; the popups of so short an
// outage, one it no longer describes, are not shown.
//
// Sits between the accounting and the real senders, and hears the tick's
// results as a ResultSink; everything runs on the user-interface thread. The
// links are read from the list when it changed (once, O(list)); each edge
// then costs one step per host in front of it.
class HostDependencies final : public ResultSink {
 public:
  explicit HostDependencies(Clock now = SystemClock) : now_(std::move(now)) {}

  // The senders to give the scheduler: `inner`, behind the hold. They refer to
  // this object, which must outlive them.
  PopupSenders Guard(PopupSenders inner);
  // The list whose records are consulted; until it is given, nothing is held.
  void Attach(HostRows& rows);
  // Hosts were added, removed or renamed, or a DependsOn changed: the links
  // are read again before their next use.
  void ListChanged() { stale_ = true; }

  // The farthest host in front of `host` that is in ERROR, or null.
  const HostRecord* DownAncestor(const HostRecord& host);
  std::size_t HeldCount() const { return held_.size(); }
  // A dependency the list cannot follow (a loop, a host not in the list),
  // said once for as long as it stays so.
  std::optional<std::string> TakeNotice();

  void ResultApplied(const HostRecord& host, const ProbeResult& result,
                     std::int32_t statusBefore) override;
  // Looks again at the held hosts once a host left ERROR or the list
  // changed.
  void TickEnded() override;

 private:
  struct Held {
    StatusEdge edge;
    // The popup was due while held.
    bool popup = false;
    // Every host in front is up again, as seen by results started then: the
    // host's first failure started later releases the outage.
    std::optional<CalendarTime> clearFrom;
    // No host in front was in ERROR when the outage began: sent by then,
    // unless one of them enters ERROR first.
    std::optional<CalendarTime> decideBy;
  };
  struct Ancestry {
    // The farthest host in front in ERROR, or null.
    const HostRecord* down = nullptr;
    // The latest and the earliest LastProbeTime of the hosts in front.
    CalendarTime lastProbe = 0;
    CalendarTime earliestProbe = 0;
    // Every host in front is OK.
    bool allOk = true;
    // Seconds the slowest host in front takes to reach ERROR once it fails.
    CalendarTime slowestToFail = 0;
  };

  Ancestry Walk(const HostRecord& host);

  void EdgeSeen(const HostRecord& host, const StatusEdge& edge);
  std::int32_t SendDown(HostRecord& host);
  std::int32_t SendOkAgain(HostRecord& host, CalendarTime outage);
  void ReadLinks();
  void DropLoops(std::set<std::string>& notices);
  std::string LoopNotice(std::vector<std::int32_t> loop);
  // The row's record of a host, or null when it has none.
  HostRecord* Record(std::int32_t hostId, int* rowOut = nullptr);
  void Mark(std::int32_t hostId, const std::string& downHost);
  void Release(HostRecord& host, int row, const Held& held);
  void DecideWaitingOutages();

  Clock now_;
  PopupSenders inner_;
  HostRows* rows_ = nullptr;
  bool stale_ = true;
  // A host left ERROR, or the links changed, since the held outages were
  // last looked at.
  bool recheck_ = false;
  // HostId -> the HostId it depends on, for the links that can be followed.
  std::unordered_map<std::int32_t, std::int32_t> parentOf_;
  // By HostId, so that a tick releases in a fixed order.
  std::map<std::int32_t, Held> held_;
  // The host whose held outage the last edge ended: its OK-again popup,
  // which follows the edge, goes unsent.
  std::int32_t endedHeld_ = 0;
  std::set<std::string> told_;
  std::vector<std::string> notices_;
};

}  // namespace kelvoran
