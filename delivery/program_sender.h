#pragma once

#include "alert/channel_sender.h"

namespace kelvoran {

// Runs the channel's program with its arguments rendered for the alert and
// the alert's variables in its environment, within the channel's total time
// limit. Exit status 0 is sent; another status is a failure to retry; a
// program that cannot be started is rejected; one still running at the limit
// is ended with what it started.
class ProgramSender final : public ChannelSender {
 public:
  AttemptResult Send(const AlertChannel& channel, const AlertEvent& alert,
                     const std::string& secret) override;
};

}  // namespace kelvoran
