#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "engine/calendar_time.h"

namespace kelvoran {

class HostRecord;

// Sends a host's popup message when it enters ERROR. It decides by the
// record's PopupSent whether anything is sent, and may overwrite ResultCode and
// ResultValue with the outcome of the delivery; it returns that outcome. The
// notification code installs the real one; without one nothing is sent.
using PopupSender = std::function<std::int32_t(HostRecord& host)>;

// Tells a host's popup destinations that it is OK again after an outage that
// lasted `outage` seconds. Called only for hosts whose PopupWhenOk is set, once
// per outage; like PopupSender it may overwrite ResultCode and ResultValue.
using OkAgainSender = std::function<std::int32_t(HostRecord& host, CalendarTime outage)>;

// The start of an outage (entering ERROR with none going on: ERROR, WARNING
// and ERROR again is one outage) or its end (reaching OK), whatever the
// host's popup settings say.
struct StatusEdge {
  enum class Kind { Down, OkAgain };
  Kind kind = Kind::Down;
  std::int32_t statusBefore = 0;
  // The StartTime of the result that made the edge, and of the one that began
  // the outage.
  CalendarTime at = 0;
  CalendarTime outageStart = 0;
  // An edge told after its moment (an alert held while a host in front was
  // down): every result up to the one that released it, that one included,
  // has already been told to the result sinks.
  bool resultsTold = false;
  // Not empty for an edge held back on purpose (a mute): why, for the alert
  // log, which records it as held; nothing is sent.
  std::string heldBecause = {};
};

// Hears each edge on the user-interface thread, in the tick, with the host
// after the result and before any popup delivery changed ResultCode: it must
// not wait for anything.
using StatusEdgeObserver = std::function<void(const HostRecord& host, const StatusEdge& edge)>;

// What the accounting calls on the way into ERROR and back into OK; any may
// be empty, and then nothing is sent. A lone PopupSender converts, for callers
// that never send the OK-again message.
struct PopupSenders {
  PopupSenders(PopupSender sendDown = {}, OkAgainSender sendOkAgain = {},
               StatusEdgeObserver observeEdges = {})
      : down(std::move(sendDown)),
        okAgain(std::move(sendOkAgain)),
        edges(std::move(observeEdges)) {}
  PopupSender down;
  OkAgainSender okAgain;
  // The alert channels' hook.
  StatusEdgeObserver edges;
};

}  // namespace kelvoran
