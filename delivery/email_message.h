#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "alert/alert_channel.h"
#include "alert/alert_event.h"

namespace kelvoran {

// A mail as handed to the SMTP server: the envelope and the message text
// (RFC 5322 headers, a blank line, a quoted-printable UTF-8 body, CRLF line
// ends). problem is set instead when the channel cannot make a mail (no
// sender, no recipient, a line break in an address): that will not change
// by itself, so the attempt is rejected.
struct EmailMessage {
  std::string envelopeFrom;
  std::vector<std::string> recipients;
  std::string text;
  std::string problem;
};

// The subject and body used when the channel leaves them empty.
std::string_view DefaultEmailSubject(AlertKind kind);
std::string_view DefaultEmailBody(AlertKind kind);

// "Mon, 07 Dec 2026 23:35:04 +0100": the moment with its own offset.
std::string Rfc5322Date(const LocalMoment& moment);

// The subject as a header value: as it is when plain ASCII of a sensible
// length, else RFC 2047 encoded words (UTF-8, base64), folded.
std::string SubjectHeaderValue(std::string_view subject);

// The body quoted-printable (RFC 2045): 7-bit, lines at most 76 characters,
// so no server mangles UTF-8 or long lines.
std::string QuotedPrintable(std::string_view body);

// The channel's subject and body rendered for the alert (values as plain
// text, so that a host name cannot add a header) and the message built.
// messageId is the header's value, with its angle brackets.
EmailMessage ComposeEmail(const AlertChannel& channel, const AlertEvent& alert,
                          const std::string& messageId);

// A fresh Message-ID for a mail from the given address.
std::string NewMessageId(std::string_view fromAddress, const AlertEvent& alert);

}  // namespace kelvoran
