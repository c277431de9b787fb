#include "notify/notification_text.h"

#include <gtest/gtest.h>

#include <string>

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

// Ten thousand characters of everything that could break a body: every one
// of them arrives, escaped.
TEST(NotificationBody, LongHostileMessageKeepsEveryCharacter) {
  const std::string chunk = "line <b>bold</b> & \xFF\xFE caf\xC3\xA9\n";
  const std::string shown = "line &lt;b&gt;bold&lt;/b&gt; &amp; \xC3\xBF\xC3\xBE caf\xC3\xA9\n";
  std::string message;
  std::string expected;
  while (message.size() < 10'000) {
    message += chunk;
    expected += shown;
  }
  EXPECT_EQ(NotificationBody(message), expected);
}

}  // namespace
}  // namespace kelvoran
