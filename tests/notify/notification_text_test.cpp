#include "notify/notification_text.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvoran {
namespace {

TEST(NotificationMarkup, EscapesMarkupKeepsLineBreaksAndReplacesOtherControls) {
  const std::pair<std::string, std::string> cases[] = {
      {"<b>a & \"b\" 'c'</b>", "&lt;b&gt;a &amp; &quot;b&quot; &apos;c&apos;&lt;/b&gt;"},
      {"&amp;", "&amp;amp;"},  // entities are shown as typed
      {"a\nb\tc\r", "a\nb\tc\r"},
      {std::string("x\x01y\0z\x1F ", 7), "x\xEF\xBF\xBDy\xEF\xBF\xBDz\xEF\xBF\xBD "},
  };
  for (const auto& [text, escaped] : cases) EXPECT_EQ(EscapeNotificationMarkup(text), escaped);
}

// Ten thousand characters of everything that could break a body: every one
// of them arrives, escaped, as well-formed UTF-8.
TEST(NotificationBody, AnyBytesBecomeWellFormedUtf8AndNothingIsLost) {
  EXPECT_EQ(NotificationBody("\xC3\xA9"), "\xC3\xA9") << "valid UTF-8 passes unchanged";
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
