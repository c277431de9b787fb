#pragma once

#include <string>
#include <string_view>

#include "alert/alert_template.h"
#include "alert/channel_sender.h"

namespace kelvoran {

// POSTs an alert to an HTTP(S) URL: the channel's body rendered (values
// JSON-escaped when the content type is JSON), its header lines, and
// "{secret}" in URL, headers and body replaced by the stored token. 2xx is
// Sent; 408, 429 and 5xx Failed (tried again); any other answer Rejected;
// the time limit TimedOut; no connection or a TLS failure Failed. Redirects
// are not followed: they would carry the token's headers to another place.
// The text is the status and the start of the answer, never the token.
class WebhookSender : public ChannelSender {
 public:
  AttemptResult Send(const AlertChannel& channel, const AlertEvent& alert,
                     const std::string& secret) override;
};

// The text rendered for the alert with "{secret}" standing for the secret,
// both escaped alike. The secret is put in after the alert's values, so a
// host named "{secret}" stays that text.
std::string RenderWithSecret(std::string_view text, const AlertEvent& alert, Escaping escaping,
                             const std::string& secret);

// Whether a body of this content type is JSON ("application/json",
// "application/problem+json; charset=utf-8", ...).
bool IsJsonContentType(std::string_view contentType);

}  // namespace kelvoran
