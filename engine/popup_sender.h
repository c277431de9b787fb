#pragma once

#include <cstdint>
#include <functional>
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

// What the accounting calls on the way into ERROR and back into OK; either may
// be empty, and then nothing is sent. A lone PopupSender converts, for callers
// that never send the OK-again message.
struct PopupSenders {
  PopupSenders(PopupSender sendDown = {}, OkAgainSender sendOkAgain = {})
      : down(std::move(sendDown)), okAgain(std::move(sendOkAgain)) {}
  PopupSender down;
  OkAgainSender okAgain;
};

}  // namespace kelvoran
