#pragma once

#include <functional>
#include <string>
#include <vector>

#include "alert/alert_journal.h"

namespace kelvoran {

// A moment in seconds since 1970 UTC, written in local time.
using MomentText = std::function<std::string(CalendarTime seconds)>;

// An attempt as the alert log shows it: time, host, channel, alert ("down",
// "OK again"), outcome and details (the answer, the next try, given up).
std::vector<std::string> AlertAttemptColumns(const AlertLogEntry& entry, const MomentText& local);

}  // namespace kelvoran
