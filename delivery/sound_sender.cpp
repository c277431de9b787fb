#include "delivery/sound_sender.h"

#include "platform/alert_sound.h"

namespace kelvoran {

AttemptResult SoundSender::Send(const AlertChannel& channel, const AlertEvent&,
                                const std::string&) {
  if (!channel.soundFile.empty()) {
    if (std::string problem = SoundFileProblem(channel.soundFile); !problem.empty())
      return {AttemptOutcome::Rejected, std::move(problem)};
  }
  std::string problem = PlayAlertSound(channel.soundFile);
  if (!problem.empty()) return {AttemptOutcome::Failed, std::move(problem)};
  return {AttemptOutcome::Sent, "played"};
}

}  // namespace kelvoran
