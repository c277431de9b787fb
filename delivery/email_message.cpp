#include "delivery/email_message.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "alert/alert_template.h"

namespace kelvoran {
namespace {

// RFC 2047: an encoded word is at most 75 characters; "=?UTF-8?B?" and "?="
// take 12, leaving 60 base64 characters, which carry 45 bytes.
constexpr std::size_t EncodedWordBytes = 45;
// Longer ASCII subjects are encoded too, which folds them under the 998
// characters a header line may have.
constexpr std::size_t LongestPlainSubject = 900;
constexpr std::size_t QuotedPrintableLine = 76;

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }
bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

bool HasControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return IsControl(static_cast<unsigned char>(c)); });
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string Base64(std::string_view bytes) {
  static constexpr char Alphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t group = 0;
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
    for (std::size_t k = 0; k < 3; ++k) {
      const auto byte = k < count ? static_cast<unsigned char>(bytes[i + k]) : 0u;
      group = (group << 8) | byte;
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out += k <= count ? Alphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return out;
}

std::string Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

// "Name <a@b>" gives "a@b"; a bare address is itself.
std::string AddressPart(std::string_view mailbox) {
  const auto open = mailbox.rfind('<');
  const auto close = open == std::string_view::npos ? open : mailbox.find('>', open);
  if (close == std::string_view::npos) return Trimmed(mailbox);
  return Trimmed(mailbox.substr(open + 1, close - open - 1));
}

std::string DomainOf(std::string_view address) {
  const auto at = address.rfind('@');
  std::string domain;
  if (at != std::string_view::npos) {
    for (const char c : address.substr(at + 1)) {
      if (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-') domain += c;
    }
  }
  return domain.empty() ? "kelvoran.invalid" : domain;
}

EmailMessage Problem(std::string text) {
  EmailMessage mail;
  mail.problem = std::move(text);
  return mail;
}

void AddHeader(std::string& text, std::string_view name, std::string_view value) {
  text.append(name).append(": ").append(value).append("\r\n");
}

}  // namespace

std::string_view DefaultEmailSubject(AlertKind kind) {
  if (IsQualityKind(kind)) return "{host}: {error}";
  return kind == AlertKind::Down ? "{host} is {status}" : "{host} is {status} again";
}

std::string_view DefaultEmailBody(AlertKind kind) {
  // A host that has just gone down has no round trip to tell; one back up
  // has, and the outage's length.
  if (IsQualityKind(kind))
    return "Host: {host}\n"
           "Description: {description}\n"
           "Quality: {error}\n"
           "Status: {status}\n"
           "Since: {outage_start}\n"
           "Time: {time}\n"
           "Monitored from: {computer}\n";
  return kind == AlertKind::Down ? "Host: {host}\n"
                                   "Description: {description}\n"
                                   "Status: {status} (was {previous_status})\n"
                                   "Error: {error}\n"
                                   "Down since: {outage_start}\n"
                                   "Loss over the last probes: {loss}%\n"
                                   "Time: {time}\n"
                                   "Monitored from: {computer}\n"
                                 : "Host: {host}\n"
                                   "Description: {description}\n"
                                   "Status: {status} (was {previous_status})\n"
                                   "Down from {outage_start} for {duration} s\n"
                                   "Round trip: {rtt} ms, loss over the last probes {loss}%\n"
                                   "Time: {time}\n"
                                   "Monitored from: {computer}\n";
}

std::string Rfc5322Date(const LocalMoment& moment) {
  static constexpr std::array<const char*, 7> Days = {"Sun", "Mon", "Tue", "Wed",
                                                      "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> Months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const LocalClockReading r = ReadLocalClock(moment);
  char text[48];
  std::snprintf(text, sizeof text, "%s, %02u %s %04d %02d:%02d:%02d %c%02d%02d",
                Days[r.weekday.c_encoding()], static_cast<unsigned>(r.date.day()),
                Months[static_cast<unsigned>(r.date.month()) - 1], static_cast<int>(r.date.year()),
                r.hours, r.minutes, r.seconds, r.offsetSign, r.offsetHours, r.offsetMinutes);
  return text;
}

std::string SubjectHeaderValue(std::string_view subject) {
  if (IsAscii(subject) && subject.size() <= LongestPlainSubject) return std::string(subject);
  std::string value;
  for (std::size_t start = 0; start < subject.size();) {
    std::size_t end = std::min(start + EncodedWordBytes, subject.size());
    // Each encoded word must hold whole characters (RFC 2047 section 5).
    while (end < subject.size() && end > start + 1 && IsContinuationByte(subject[end])) --end;
    if (!value.empty()) value += "\r\n ";
    value += "=?UTF-8?B?" + Base64(subject.substr(start, end - start)) + "?=";
    start = end;
  }
  return value;
}

std::string QuotedPrintable(std::string_view body) {
  std::string out;
  std::size_t lineStart = 0;
  while (lineStart < body.size()) {
    std::size_t lineEnd = body.find('\n', lineStart);
    if (lineEnd == std::string_view::npos) lineEnd = body.size();
    std::string_view line = body.substr(lineStart, lineEnd - lineStart);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t column = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const auto c = static_cast<unsigned char>(line[i]);
      const bool blank = c == ' ' || c == '\t';
      const bool literal = (c > 32 && c < 127 && c != '=') || (blank && i + 1 < line.size());
      char piece[4] = {static_cast<char>(c), '\0'};
      if (!literal) std::snprintf(piece, sizeof piece, "=%02X", c);
      const std::size_t width = literal ? 1 : 3;
      // A soft line break ("=" at the end) keeps each line within 76.
      if (column + width > QuotedPrintableLine - 1) {
        out += "=\r\n";
        column = 0;
      }
      out.append(piece, width);
      column += width;
    }
    out += "\r\n";
    lineStart = lineEnd + 1;
  }
  return out;
}

std::string NewMessageId(std::string_view fromAddress, const AlertEvent& alert) {
  thread_local std::mt19937_64 random{std::random_device{}()};
  char unique[48];
  std::snprintf(unique, sizeof unique, "%llx.%016llx",
                static_cast<unsigned long long>(alert.time.utc),
                static_cast<unsigned long long>(random()));
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about a
  // literal put before a string.
  std::string id(1, '<');
  id.append(unique).append(1, '@').append(DomainOf(fromAddress)).append(1, '>');
  return id;
}

EmailMessage ComposeEmail(const AlertChannel& channel, const AlertEvent& alert,
                          const std::string& messageId) {
  if (HasControl(channel.from)) return Problem("the sender address holds a line break");
  EmailMessage mail;
  mail.envelopeFrom = AddressPart(channel.from);
  if (mail.envelopeFrom.empty()) return Problem("no sender address (From) is set");
  std::string toHeader;
  for (const std::string& recipient : channel.recipients) {
    if (HasControl(recipient)) return Problem("a recipient address holds a line break");
    const std::string address = AddressPart(recipient);
    if (address.empty()) continue;
    mail.recipients.push_back(address);
    // Folded after each recipient, so that a long list stays within the
    // line length a header may have.
    toHeader += (toHeader.empty() ? "" : ",\r\n ") + Trimmed(recipient);
  }
  if (mail.recipients.empty()) return Problem("no recipient is set");

  const std::string_view subject =
      channel.subject.empty() ? DefaultEmailSubject(alert.kind) : channel.subject;
  const std::string_view body = channel.body.empty() ? DefaultEmailBody(alert.kind) : channel.body;
  // The template's own text is escaped too: a subject is one line.
  const std::string subjectText =
      Escaped(RenderAlert(subject, alert, Escaping::PlainText), Escaping::PlainText);

  AddHeader(mail.text, "From", Trimmed(channel.from));
  AddHeader(mail.text, "To", toHeader);
  AddHeader(mail.text, "Subject", SubjectHeaderValue(subjectText));
  AddHeader(mail.text, "Date", Rfc5322Date(alert.time));
  AddHeader(mail.text, "Message-ID", messageId);
  // RFC 3834: no vacation replies to an automatic alert.
  AddHeader(mail.text, "Auto-Submitted", "auto-generated");
  AddHeader(mail.text, "MIME-Version", "1.0");
  AddHeader(mail.text, "Content-Type", "text/plain; charset=UTF-8");
  AddHeader(mail.text, "Content-Transfer-Encoding", "quoted-printable");
  mail.text += "\r\n";
  mail.text += QuotedPrintable(RenderAlert(body, alert, Escaping::PlainText));
  return mail;
}

}  // namespace kelvoran
