#include "engine/host_mute.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <utility>

#include "engine/host_record.h"
#include "engine/host_rows.h"
#include "engine/host_settings.h"
#include "portable/profile_text.h"

namespace kelvoran {
namespace {

constexpr char kNever[] = "never";
// 9999-12-31 23:59:59 UTC. A later end is no date the row could show, and its
// local time would overflow: a damaged value.
constexpr CalendarTime kLatestEnd = 253'402'300'799;

struct LocalClock {
  std::chrono::sys_days day;
  int hour = 0;
  int minute = 0;
};

LocalClock Local(CalendarTime utc, std::int64_t utcOffset) {
  const std::chrono::sys_seconds local{std::chrono::seconds(utc + utcOffset)};
  const auto day = std::chrono::floor<std::chrono::days>(local);
  const std::chrono::hh_mm_ss time{local - day};
  return {day, static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count())};
}

}  // namespace

std::string MutedUntilText(CalendarTime until) {
  if (until == kMutedUntilUnmuted) return kNever;
  return until > 0 ? std::to_string(until) : std::string();
}

CalendarTime ParseMutedUntil(std::string_view text) {
  if (text == kNever) return kMutedUntilUnmuted;
  CalendarTime until = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), until);
  if (error != std::errc() || end != text.data() + text.size() || until < 0 || until > kLatestEnd)
    return 0;
  return until;
}

CalendarTime ReadListMute(const std::string& fileName, ProfileWitness* witness) {
  ProfileText file;
  if (!ReadProfile(fileName, file, witness).ok()) return 0;
  const auto value = file.FindValue(kListSection, kMutedUntilKey);
  return value ? ParseMutedUntil(*value) : 0;
}

namespace {

void SetMuteKey(ProfileText& file, std::string_view section, CalendarTime until) {
  const std::string text = MutedUntilText(until);
  if (text.empty())
    file.RemoveKey(section, kMutedUntilKey);
  else
    file.SetValue(section, kMutedUntilKey, text);
}

}  // namespace

FileResult SaveListMute(CalendarTime until, const std::string& fileName, ProfileWitness* witness) {
  return EditProfile(
      fileName, [&](ProfileText& file) { SetMuteKey(file, kListSection, until); }, witness);
}

FileResult SaveHostMutes(const std::vector<const HostRecord*>& hosts, const std::string& fileName,
                         ProfileWitness* witness) {
  return EditProfile(
      fileName,
      [&](ProfileText& file) {
        for (const HostRecord* host : hosts) {
          SetMuteKey(file, SectionOf(*host), host->MutedUntil);
        }
      },
      witness);
}

std::string MuteEndText(CalendarTime until, CalendarTime now, std::int64_t utcOffset) {
  if (until == kMutedUntilUnmuted) return "until unmuted";
  const LocalClock end = Local(until, utcOffset);
  char text[40];
  if (end.day == Local(now, utcOffset).day) {
    std::snprintf(text, sizeof text, "until %02d:%02d", end.hour, end.minute);
  } else {
    const std::chrono::year_month_day date{end.day};
    std::snprintf(text, sizeof text, "until %04d-%02u-%02u %02d:%02d",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), end.hour, end.minute);
  }
  return text;
}

HostMutes::HostMutes(Clock now, UtcOffset utcOffset)
    : now_(std::move(now)), utcOffset_(std::move(utcOffset)) {}

PopupSenders HostMutes::Guard(PopupSenders inner) {
  inner_ = std::move(inner);
  return {[this](HostRecord& host) { return SendDown(host); },
          [this](HostRecord& host, CalendarTime outage) { return SendOkAgain(host, outage); },
          [this](const HostRecord& host, const StatusEdge& edge) { EdgeSeen(host, edge); }};
}

void HostMutes::Attach(HostRows& rows) {
  rows_ = &rows;
  recheck_ = true;
}

void HostMutes::MuteList(CalendarTime until) {
  listUntil_ = until;
  recheck_ = true;
}

CalendarTime HostMutes::LiveEnd(CalendarTime until) const { return until > now_() ? until : 0; }

CalendarTime HostMutes::ListMutedUntil() const { return LiveEnd(listUntil_); }

std::string HostMutes::HeldBecause(const HostRecord& host) const {
  const CalendarTime own = LiveEnd(host.MutedUntil);
  const CalendarTime list = ListMutedUntil();
  if (own == 0 && list == 0) return {};
  const CalendarTime now = now_();
  if (own >= list) return "muted " + MuteEndText(own, now, utcOffset_(own));
  return "list muted " + MuteEndText(list, now, utcOffset_(list));
}

void HostMutes::EdgeSeen(const HostRecord& host, const StatusEdge& edge) {
  endedHeld_ = 0;
  const std::string why = HeldBecause(host);
  const bool wasHeld = held_.erase(host.HostId) != 0;
  if (edge.kind == StatusEdge::Kind::Down && !why.empty()) {
    held_[host.HostId] = Held{edge, false};
  } else if (edge.kind == StatusEdge::Kind::OkAgain && (wasHeld || !why.empty())) {
    endedHeld_ = host.HostId;
    // A down held by a mute that ended within this tick was never told: its
    // end is not either.
    if (why.empty()) return;
  } else {
    if (inner_.edges) inner_.edges(host, edge);
    return;
  }
  StatusEdge held = edge;
  held.heldBecause = why;
  if (inner_.edges) inner_.edges(host, held);
}

std::int32_t HostMutes::SendDown(HostRecord& host) {
  const auto held = held_.find(host.HostId);
  if (held != held_.end()) held->second.popup = true;
  if (held != held_.end() || !HeldBecause(host).empty()) return host.ResultCode;
  return inner_.down ? inner_.down(host) : host.ResultCode;
}

std::int32_t HostMutes::SendOkAgain(HostRecord& host, CalendarTime outage) {
  if (std::exchange(endedHeld_, 0) == host.HostId || !HeldBecause(host).empty())
    return host.ResultCode;
  return inner_.okAgain ? inner_.okAgain(host, outage) : host.ResultCode;
}

void HostMutes::TickEnded() {
  if (!rows_) return;
  if (!recheck_ && (nextEnd_ == 0 || now_() < nextEnd_)) return;
  recheck_ = false;
  ReleaseEnded();
  RefreshNotes();
}

// The outages whose mute is over: still going on, what was held is sent as
// if it happened now; over, or reset, or the host deleted, nothing is.
void HostMutes::ReleaseEnded() {
  for (auto held = held_.begin(); held != held_.end();) {
    const int row = rows_->FindRowByHostId(held->first);
    HostRecord* host = row < 0 ? nullptr : &rows_->RecordAt(row);
    if (host && host->OutageStart == held->second.edge.outageStart && !HeldBecause(*host).empty()) {
      ++held;
      continue;
    }
    const Held ended = held->second;
    held = held_.erase(held);
    if (!host || host->OutageStart != ended.edge.outageStart) continue;
    StatusEdge edge = ended.edge;
    edge.resultsTold = true;
    if (inner_.edges) inner_.edges(*host, edge);
    // A host back in WARNING within its outage has its popup sent on its
    // next entry into ERROR, when the accounting calls the sender again.
    if (ended.popup && host->Status == StatusError && inner_.down) inner_.down(*host);
  }
}

void HostMutes::RefreshNotes() {
  const CalendarTime now = now_();
  nextEnd_ = 0;
  const auto soonest = [&](CalendarTime until) {
    if (until > now && until != kMutedUntilUnmuted)
      nextEnd_ = nextEnd_ == 0 ? until : std::min(nextEnd_, until);
  };
  soonest(listUntil_);
  for (int row = 0; row < rows_->RowCount(); ++row) {
    HostRecord& host = rows_->RecordAt(row);
    soonest(host.MutedUntil);
    std::string note = HeldBecause(host);
    if (note == host.MuteNote) continue;
    host.MuteNote = std::move(note);
    rows_->FormatRow(row);
  }
}

}  // namespace kelvoran
