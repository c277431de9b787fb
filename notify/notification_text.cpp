#include "notify/notification_text.h"

#include "portable/ansi_text.h"

namespace kelvoran {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

bool IsForbiddenControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

std::string_view EntityFor(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\'':
      return "&apos;";
    default:
      return {};
  }
}

}  // namespace

std::string EscapeNotificationMarkup(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size() + text.size() / 8);
  for (const char c : text) {
    if (const std::string_view entity = EntityFor(c); !entity.empty())
      escaped += entity;
    else if (IsForbiddenControl(c))
      escaped += kReplacementCharacter;
    else
      escaped += c;
  }
  return escaped;
}

std::string NotificationBody(std::string_view message) {
  return EscapeNotificationMarkup(ToDisplayText(message));
}

}  // namespace kelvoran
