#pragma once

#include <string>
#include <string_view>

namespace kelvoran {

// Escapes well-formed UTF-8 for a desktop notification body, which the
// notification service may read as markup: &, <, >, " and ' become entities,
// so "<b>" shows as typed. Control characters other than tab, line feed and
// carriage return are not allowed in markup at all, even as references, and
// become U+FFFD.
std::string EscapeNotificationMarkup(std::string_view text);

// The body of the desktop notification for a popup message in the monitor's
// 8-bit text: made well-formed UTF-8, then escaped. Nothing is cut off.
std::string NotificationBody(std::string_view message);

}  // namespace kelvoran
