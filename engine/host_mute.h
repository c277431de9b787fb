#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/popup_sender.h"
#include "engine/result_sink.h"
#include "portable/file_result.h"
#include "portable/private_profile.h"

namespace kelvoran {

class HostRecord;
class HostRows;

// A mute's end when it has none: it lasts until the user unmutes.
inline constexpr CalendarTime kMutedUntilUnmuted = std::numeric_limits<CalendarTime>::max();

// A mute's end as the settings file keeps it: "never" for until unmuted,
// seconds since 1970 UTC otherwise; and back, 0 (no mute) for a text that is
// neither, so a damaged key mutes nothing.
std::string MutedUntilText(CalendarTime until);
CalendarTime ParseMutedUntil(std::string_view text);

// The whole list's mute lives in the host settings file, beside the hosts,
// so that the headless monitor and a restart find it: in a section without a
// "Host" key, which the list's loader (this version's and earlier ones')
// passes by, under a name no host can take (host names hold no brackets).
inline constexpr char kListSection[] = "(whole list)";
inline constexpr char kMutedUntilKey[] = "MutedUntil";
// The list's mute in the file; 0 when none, or the file cannot be read.
CalendarTime ReadListMute(const std::string& fileName, ProfileWitness* witness = nullptr);
FileResult SaveListMute(CalendarTime until, const std::string& fileName,
                        ProfileWitness* witness = nullptr);
// Writes each host's MutedUntil into its section, the key removed when not
// muted, in one replacement of the file.
FileResult SaveHostMutes(const std::vector<const HostRecord*>& hosts, const std::string& fileName,
                         ProfileWitness* witness = nullptr);

// "until 14:30" (today, local time), "until 2026-12-09 14:30" (another day),
// or "until unmuted".
std::string MuteEndText(CalendarTime until, CalendarTime now, std::int64_t utcOffset);

// Mute: the user's explicit choice that nobody is told about a host, or the
// whole list, for a while. While muted, a host's down and OK-again popups are
// not sent and its alerts reach the alert log as held, with why. When the
// mute ends and the outage whose down was held is still going on, the down
// alert and popup are sent then: the planned reboot did not come back. An
// outage that began and ended inside the mute sends nothing. Status,
// counters and history are not touched: this decides only who is told.
//
// Sits behind the dependencies' hold, just before the real senders, so an
// edge reaches it once it is due; runs on the user-interface thread.
class HostMutes final : public ResultSink {
 public:
  using Clock = std::function<CalendarTime()>;
  using UtcOffset = std::function<std::int64_t(CalendarTime utc)>;
  HostMutes(Clock now, UtcOffset utcOffset);

  // The senders to give the guard in front; they refer to this object.
  PopupSenders Guard(PopupSenders inner);
  void Attach(HostRows& rows);

  // 0 unmutes the list.
  void MuteList(CalendarTime until);
  // The list's mute while it lasts, 0 otherwise.
  CalendarTime ListMutedUntil() const;
  // A host's MutedUntil changed, or hosts came or went: the rows' notes and
  // the held outages are looked at again at the tick's end.
  void Changed() { recheck_ = true; }
  // Looks again now, not at the tick's end: the user just muted or unmuted.
  void Refresh() {
    recheck_ = true;
    TickEnded();
  }
  std::size_t HeldCount() const { return held_.size(); }
  // Why the host's alerts are held now ("muted until 14:30"), or empty.
  std::string WhyHeld(const HostRecord& host) const { return HeldBecause(host); }

  void ResultApplied(const HostRecord&, const ProbeResult&, std::int32_t) override {}
  // Sends what a mute that ended held, and keeps the rows' notes current.
  void TickEnded() override;

 private:
  struct Held {
    StatusEdge edge;
    // The popup was due while held.
    bool popup = false;
  };

  // Why the host's alerts are held now ("muted until 14:30"), or empty.
  std::string HeldBecause(const HostRecord& host) const;
  CalendarTime LiveEnd(CalendarTime until) const;
  void EdgeSeen(const HostRecord& host, const StatusEdge& edge);
  std::int32_t SendDown(HostRecord& host);
  std::int32_t SendOkAgain(HostRecord& host, CalendarTime outage);
  void ReleaseEnded();
  void RefreshNotes();

  Clock now_;
  UtcOffset utcOffset_;
  PopupSenders inner_;
  HostRows* rows_ = nullptr;
  CalendarTime listUntil_ = 0;
  bool recheck_ = true;
  // The soonest moment a mute seen in the last look ends.
  CalendarTime nextEnd_ = 0;
  std::map<std::int32_t, Held> held_;
  // The host whose held outage the last edge ended: its OK-again popup,
  // which follows the edge, goes unsent.
  std::int32_t endedHeld_ = 0;
};

}  // namespace kelvoran
