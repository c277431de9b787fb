#pragma once

#include "alert/channel_sender.h"

namespace kelvoran {

// Plays the channel's sound file, or the desktop's alert sound when none is
// set. A missing file is rejected; a sound service that could not play is a
// failure to retry.
class SoundSender final : public ChannelSender {
 public:
  AttemptResult Send(const AlertChannel& channel, const AlertEvent& alert,
                     const std::string& secret) override;
};

}  // namespace kelvoran
