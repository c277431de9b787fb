#pragma once

#include <cstdint>
#include <functional>

namespace kelvoran {

class HostRecord;

// Sends a host's popup message when it enters ERROR. It decides by the
// record's PopupSent whether anything is sent, and may overwrite ResultCode and
// ResultValue with the outcome of the delivery; it returns that outcome. The
// notification code installs the real one; without one nothing is sent.
using PopupSender = std::function<std::int32_t(HostRecord& host)>;

}  // namespace kelvoran
