#include "platform/ansi_text.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvoran {
namespace {

TEST(ToWide, ConvertsWellFormedUtf8) {
  EXPECT_EQ(ToWide(""), u"");
  EXPECT_EQ(ToWide("host down"), u"host down");
  EXPECT_EQ(ToWide("\xC3\xBC \xE2\x82\xAC"), u"\u00FC \u20AC");
  EXPECT_EQ(ToWide("\xF0\x9F\x94\xA5"), u"\U0001F525") << "a surrogate pair";
}

// Bytes a hand-edited file may hold in another code page: each stands for its
// Latin-1 character, and the characters around it survive.
TEST(ToWide, ReadsMalformedBytesAsLatin1) {
  EXPECT_EQ(ToWide("caf\xE9"), u"caf\u00E9");
  EXPECT_EQ(ToWide("\xFF\xFE"), u"\u00FF\u00FE");
  EXPECT_EQ(ToWide("\xC3"), u"\u00C3") << "sequence cut off at the end";
  EXPECT_EQ(ToWide("\xE2\x82x"), u"\u00E2\u0082x") << "sequence broken in the middle";
  EXPECT_EQ(ToWide("\xC0\xAF"), u"\u00C0\u00AF") << "overlong slash";
  EXPECT_EQ(ToWide("\xE0\x80\xAF"), u"\u00E0\u0080\u00AF") << "overlong in three bytes";
  EXPECT_EQ(ToWide("\xED\xA0\x80"), u"\u00ED\u00A0\u0080") << "encoded surrogate";
  EXPECT_EQ(ToWide("\xF4\x90\x80\x80"), u"\u00F4\u0090\u0080\u0080") << "above U+10FFFF";
}

TEST(ToDisplayText, GivesWellFormedUtf8) {
  EXPECT_EQ(ToDisplayText("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(ToDisplayText("\xF0\x9F\x94\xA5 ok"), "\xF0\x9F\x94\xA5 ok");
  EXPECT_EQ(ToDisplayText("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80");
}

// Every possible two-byte text converts without loss: one character per
// malformed byte, and UTF-8 of the result reads back as itself.
TEST(ToDisplayText, IsStableForEveryBytePair) {
  for (int first = 0; first < 256; ++first) {
    for (int second = 0; second < 256; ++second) {
      const std::string text{static_cast<char>(first), static_cast<char>(second)};
      const std::string display = ToDisplayText(text);
      ASSERT_EQ(ToDisplayText(display), display) << first << "," << second;
      ASSERT_FALSE(ToWide(text).empty());
    }
  }
}

}  // namespace
}  // namespace kelvoran
