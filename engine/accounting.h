#pragma once

#include "engine/popup_sender.h"

namespace kelvoran {

class HostRows;
struct ProbeJob;

// Applies a finished probe to the host of the given row: counters, response
// times, status with its fail and success periods, the popup message on
// entering ERROR and, for hosts that ask for it, the OK-again message on
// returning to OK after an outage; then the row and an open settings dialog
// of the same host are refreshed. The job stays with the caller.
void ApplyResult(HostRows& rows, int row, const ProbeJob& job, const PopupSenders& senders);

// Returns every host to its starting state and refreshes every row. (The
// question before it is the caller's.)
void ResetAllResults(HostRows& rows);

}  // namespace kelvoran
