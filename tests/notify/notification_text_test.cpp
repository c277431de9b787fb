#include "notify/notification_text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/ansi_text.h"

namespace kelvoran {
namespace {

TEST(NotificationMarkup, EscapesEveryMarkupCharacter) {
  EXPECT_EQ(EscapeNotificationMarkup("<b>a & \"b\" 'c'</b>"),
            "&lt;b&gt;a &amp; &quot;b&quot; &apos;c&apos;&lt;/b&gt;");
  EXPECT_EQ(EscapeNotificationMarkup("&amp;"), "&amp;amp;") << "entities are shown as typed";
}

TEST(NotificationMarkup, KeepsLineBreaksAndReplacesOtherControls) {
  EXPECT_EQ(EscapeNotificationMarkup("a\nb\tc\r"), "a\nb\tc\r");
  EXPECT_EQ(EscapeNotificationMarkup(std::string("x\x01y\0z", 5)), "x\xEF\xBF\xBDy\xEF\xBF\xBDz");
}

TEST(NotificationBody, IsWellFormedUtf8ForAnyBytes) {
  EXPECT_EQ(NotificationBody("caf\xE9 <ok>"), "caf\xC3\xA9 &lt;ok&gt;");
  EXPECT_EQ(NotificationBody("\xC3\xA9"), "\xC3\xA9") << "valid UTF-8 passes unchanged";
}

// Ten thousand characters of everything that could break a body: nothing may
// be lost, and unescaping gives back exactly the displayable text.
TEST(NotificationBody, LongHostileMessageKeepsEveryCharacter) {
  std::string message;
  const std::string chunk = "line <b>bold</b> & \xFF\xFE caf\xC3\xA9\n";
  while (message.size() < 10'000) message += chunk;
  message.resize(10'000);
  const std::string body = NotificationBody(message);
  std::string unescaped;
  for (std::size_t at = 0; at < body.size();) {
    if (body.compare(at, 5, "&amp;") == 0) {
      unescaped += '&';
      at += 5;
    } else if (body.compare(at, 4, "&lt;") == 0 || body.compare(at, 4, "&gt;") == 0) {
      unescaped += body[at + 1] == 'l' ? '<' : '>';
      at += 4;
    } else {
      ASSERT_NE(body[at], '<');
      unescaped += body[at++];
    }
  }
  EXPECT_EQ(unescaped, ToDisplayText(message));
  EXPECT_EQ(ToWide(unescaped).size(), ToWide(message).size());
}

}  // namespace
}  // namespace kelvoran
