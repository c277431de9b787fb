#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "alert/quiet_hours.h"

namespace kelvoran {

enum class ChannelKind { Email, Webhook, Program, Sound };

// How the mail server is reached: TLS from the first byte (usually port 465),
// plain then STARTTLS (587), or plain all through (25, for a local relay).
enum class SmtpSecurity { ImplicitTls, StartTls, Plain };

// One way of telling people, defined once and named; hosts refer to it by
// name. Only the fields of its kind are used. The secret (SMTP password or
// webhook token) is not here: it lives in the secret store under the
// channel's name and reaches the sender at the moment of sending.
struct AlertChannel {
  // Unique in the list, not empty, no comma (a host's key lists names
  // separated by commas).
  std::string name;
  ChannelKind kind = ChannelKind::Email;
  // Also tell when the host is OK again after an outage.
  bool alsoWhenOk = false;
  // Limits of one attempt, in seconds.
  std::int32_t connectSeconds = 10;
  std::int32_t totalSeconds = 30;

  // E-mail.
  std::string server;
  std::uint16_t port = 587;
  SmtpSecurity security = SmtpSecurity::StartTls;
  // Empty: no AUTH. Otherwise the secret is the password.
  std::string user;
  std::string from;
  std::vector<std::string> recipients;
  std::string subject;
  std::string body;
  // A PEM file of certificates to trust besides the system's; empty: the
  // system's trust store only.
  std::string caFile;

  // Webhook: POST to url (http or https) with the body; the headers are
  // "Name: value" lines. In url, headers and body "{secret}" stands for the
  // stored token; caFile as for e-mail.
  std::string url;
  std::string contentType = "application/json";
  std::vector<std::string> headers;
  // body is shared with e-mail.

  // Run a program: the program (a path) and its arguments, each a template.
  std::string program;
  std::vector<std::string> arguments;

  // Sound: a sound file, or empty for the desktop's own alert sound.
  std::string soundFile;

  // When the channel is not used; alerts then are logged as held, and with
  // sendHeldLater sent once the quiet hours end.
  QuietHours quietHours;
  bool sendHeldLater = false;
  // While a host stays down, its down alert again every so many minutes (0:
  // never), at most so many times.
  std::int32_t reminderMinutes = 0;
  std::int32_t mostReminders = 3;
};

}  // namespace kelvoran
