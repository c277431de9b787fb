#include "platform/ansi_text.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvoran {
namespace {

// Well-formed UTF-8 converts (a surrogate pair included); bytes a hand-edited
// file may hold in another code page (cut or broken sequences, overlong forms,
// encoded surrogates, values above U+10FFFF) each stand for their Latin-1
// character, and their neighbours survive.
TEST(ToWide, ConvertsUtf8AndReadsMalformedBytesAsLatin1) {
  using Case = std::pair<std::string, std::u16string>;
  const Case cases[] = {{"", u""},
                        {"host down", u"host down"},
                        {"\xC3\xBC \xE2\x82\xAC", u"\u00FC \u20AC"},
                        {"\xF0\x9F\x94\xA5", u"\U0001F525"},
                        {"caf\xE9", u"caf\u00E9"},
                        {"\xFF\xFE", u"\u00FF\u00FE"},
                        {"\xC3", u"\u00C3"},
                        {"\xE2\x82x", u"\u00E2\u0082x"},
                        {"\xC0\xAF", u"\u00C0\u00AF"},
                        {"\xE0\x80\xAF", u"\u00E0\u0080\u00AF"},
                        {"\xED\xA0\x80", u"\u00ED\u00A0\u0080"},
                        {"\xF4\x90\x80\x80", u"\u00F4\u0090\u0080\u0080"}};
  for (const auto& [text, wide] : cases) EXPECT_EQ(ToWide(text), wide) << text;
}

// The display form is well-formed UTF-8: one character per malformed byte,
// and converting it again changes nothing, for every possible byte pair.
TEST(ToDisplayText, GivesWellFormedUtf8StableForEveryBytePair) {
  EXPECT_EQ(ToDisplayText("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(ToDisplayText("\xF0\x9F\x94\xA5 ok"), "\xF0\x9F\x94\xA5 ok");
  EXPECT_EQ(ToDisplayText("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80");
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
