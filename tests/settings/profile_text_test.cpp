#include "platform/profile_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvoran {
namespace {

std::vector<std::string> Names(const ProfileText& text) {
  const auto views = text.SectionNames();
  return {views.begin(), views.end()};
}

std::string ValueOr(const ProfileText& text, std::string_view section, std::string_view key) {
  return std::string(text.FindValue(section, key).value_or("<missing>"));
}

// A file as people write them by hand, with every form the reader accepts.
const std::string kHandWritten =
    "\xEF\xBB\xBF"
    "Stray=above any section\r\n"
    "; a comment\r\n"
    "  [ Gateway ]  \r\n"
    "  Host =  gw.example  \r\n"
    "Timeout\t=\t-5\r\n"
    "host=second one loses\r\n"
    "\r\n"
    "[quoted]\n"
    "Double=\"  padded  \"\n"
    "Single='x'\n"
    "Lone=\"\n"
    "Mixed=\"a'\n"
    "not a key line\n"
    "=no name\n"
    "[GATEWAY]\rHost=shadowed\r"
    "[\xE9t\xE9]\n"
    "Host=caf\xE9 =x\n"
    "[open bracket\n"
    "Host=last";

TEST(ProfileTextReading, HandWrittenFileReadsAsAnOperatorExpects) {
  const ProfileText text = ProfileText::Parse(kHandWritten);
  EXPECT_EQ(Names(text),
            (std::vector<std::string>{"Gateway", "quoted", "\xE9t\xE9", "open bracket"}));
  EXPECT_EQ(ValueOr(text, "gateway", "HOST"), "gw.example");
  EXPECT_EQ(ValueOr(text, "Gateway", "Timeout"), "-5");
  EXPECT_EQ(ValueOr(text, "Gateway", "Stray"), "<missing>");
  EXPECT_EQ(ValueOr(text, "quoted", "Double"), "  padded  ");
  EXPECT_EQ(ValueOr(text, "quoted", "Single"), "x");
  EXPECT_EQ(ValueOr(text, "quoted", "Lone"), "\"");
  EXPECT_EQ(ValueOr(text, "quoted", "Mixed"), "\"a'");
  EXPECT_EQ(ValueOr(text, "quoted", "not a key line"), "<missing>");
  EXPECT_EQ(ValueOr(text, "\xE9t\xE9", "Host"), "caf\xE9 =x");
  EXPECT_EQ(ValueOr(text, "\xC9T\xC9", "Host"), "<missing>") << "only ASCII folds";
  EXPECT_EQ(ValueOr(text, "open bracket", "Host"), "last");
  EXPECT_EQ(text.Serialize(), kHandWritten);
}

TEST(ProfileTextWriting, ChangesOnlyTheLinesItMustInTheFilesOwnLineEnds) {
  ProfileText text = ProfileText::Parse(
      "[a]\r\nHost=a\r\nTimeout=1\r\n; about b\r\n\r\n[b]\r\nHost=b\xFF\r\n\r\n[c]\r\nHost=c");
  text.SetValue("A", "timeout", "2");
  text.SetValue("a", "Delay", "3");
  text.SetValue("c", "Delay", "4");
  text.SetValue("new", "Host", "n");
  EXPECT_EQ(text.Serialize(),
            "[a]\r\nHost=a\r\ntimeout=2\r\nDelay=3\r\n; about b\r\n\r\n[b]\r\nHost=b\xFF\r\n\r\n"
            "[c]\r\nHost=c\r\nDelay=4\r\n[new]\r\nHost=n\r\n");
}

TEST(ProfileTextWriting, EmptiedSectionKeepsItsPlaceAndTheBlankLinesAfterIt) {
  ProfileText text =
      ProfileText::Parse("[a]\nHost=a\n; note\nFoo\n\n\n[b]\nHost=b\n[A]\nHost=dup\n");
  text.EmptySection(" a ");
  text.EmptySection("missing");
  EXPECT_EQ(text.Serialize(), "[a]\n\n\n[b]\nHost=b\n[A]\nHost=dup\n[missing]\n");
  EXPECT_EQ(ValueOr(text, "a", "Host"), "<missing>") << "the first of two sections counts";
  text.SetValue("a", "Host", "back");
  EXPECT_EQ(text.Serialize(), "[a]\nHost=back\n\n\n[b]\nHost=b\n[A]\nHost=dup\n[missing]\n");
}

TEST(ProfileTextWriting, NamesHoldingBracketsOrEqualsReadBack) {
  ProfileText text;
  for (const std::string name : {"a]b", "x=y", "[z", "]", "semi;colon"}) {
    text.SetValue(name, "Host", name);
  }
  const ProfileText reread = ProfileText::Parse(text.Serialize());
  EXPECT_EQ(Names(reread), (std::vector<std::string>{"a]b", "x=y", "[z", "]", "semi;colon"}));
  for (const std::string name : {"a]b", "x=y", "[z", "]", "semi;colon"})
    EXPECT_EQ(ValueOr(reread, name, "Host"), name);
  EXPECT_FALSE(ProfileText::IsWritableKey("a=b"));
  EXPECT_FALSE(ProfileText::IsWritableKey(" [a"));
  EXPECT_FALSE(ProfileText::IsWritableKey(";a"));
  EXPECT_FALSE(ProfileText::IsWritableKey(" \t"));
}

}  // namespace
}  // namespace kelvoran
