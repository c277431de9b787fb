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

}  // namespace
}  // namespace kelvoran
