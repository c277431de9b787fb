#pragma once

#include "alert/channel_sender.h"

namespace kelvoran {

// Sends an alert as a plain-text mail over SMTP: implicit TLS, STARTTLS
// (required, never silently skipped) or plain, with AUTH PLAIN or LOGIN when
// the channel names a user (the secret is the password). A refusal (5xx, a
// wrong password) is Rejected; a deferral (4xx), no connection or a TLS
// failure is Failed; the time limit TimedOut. The text is the server's reply.
class EmailSender : public ChannelSender {
 public:
  AttemptResult Send(const AlertChannel& channel, const AlertEvent& alert,
                     const std::string& secret) override;
};

}  // namespace kelvoran
