#include "portable/profile_text.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "portable/private_profile.h"
#include "settings_files.h"

namespace kelvoran {
namespace {

using testing::ReadFile;
using testing::WriteFile;

std::vector<std::string> Names(const ProfileText& text) {
  const auto views = text.SectionNames();
  return {views.begin(), views.end()};
}

// The value, or "?" when there is none.
std::string ValueOr(const ProfileText& text, std::string_view section, std::string_view key) {
  return std::string(text.FindValue(section, key).value_or("?"));
}

struct Lookup {
  const char *section, *key, *value;
};

// Hand-written forms the corpus files do not show: a key above any section,
// quotes, 8-bit names (only ASCII letters fold).
const std::string kHandWritten =
    "\xEF\xBB\xBFStray=above any section\r\n  [ Gateway ]  \r\n  Host =  gw  \r\n"
    "[quoted]\nDouble=\"  padded  \"\nSingle='x'\nLone=\"\nMixed=\"a'\nnot a key line\n"
    "; Note=x\n=nameless\n"
    "[\xE9t\xE9]\nHost=caf\xE9 =x";

TEST(ProfileTextReading, HandWrittenFileReadsAsAnOperatorExpects) {
  const ProfileText text = ProfileText::Parse(kHandWritten);
  EXPECT_EQ(Names(text), (std::vector<std::string>{"Gateway", "quoted", "\xE9t\xE9"}));
  const Lookup cases[] = {{"gateway", "HOST", "gw"},          {"Gateway", "Stray", "?"},
                          {"quoted", "Double", "  padded  "}, {"quoted", "Single", "x"},
                          {"quoted", "Lone", "\""},           {"quoted", "Mixed", "\"a'"},
                          {"quoted", "not a key line", "?"},  {"\xE9t\xE9", "Host", "caf\xE9 =x"},
                          {"\xC9T\xC9", "Host", "?"}};
  for (const auto& c : cases)
    EXPECT_EQ(ValueOr(text, c.section, c.key), c.value) << c.section << "/" << c.key;
  EXPECT_FALSE(text.FindValue("quoted", "; Note") || text.FindValue("quoted", ""));
  EXPECT_EQ(text.Serialize(), kHandWritten);
  EXPECT_EQ(Names(ProfileText::Parse("\xEF\xBB\xBF[a]\n")), std::vector<std::string>{"a"});
  EXPECT_EQ(ValueOr(ProfileText::Parse("[Zz]\nZ=1\n"), "zZ", "z"), "1");
}

// An updated key keeps its spelling; a new one takes the writer's.
TEST(ProfileTextWriting, ChangesOnlyTheLinesItMustInTheFilesOwnLineEnds) {
  ProfileText text = ProfileText::Parse(
      "[a]\r\nHost=a\r\nTimeout=1\r\n; about b\r\n\r\n[b]\r\nHost=b\xFF\r\n\r\n[c]\r\nHost=c");
  text.SetValue("A", "timeout", "2");
  text.SetValue("a", "Delay", "3");
  text.SetValue("c", "Delay", "4");
  text.SetValue("new", "Host", "n");
  EXPECT_EQ(text.Serialize(),
            "[a]\r\nHost=a\r\nTimeout=2\r\nDelay=3\r\n; about b\r\n\r\n[b]\r\nHost=b\xFF\r\n\r\n"
            "[c]\r\nHost=c\r\nDelay=4\r\n[new]\r\nHost=n\r\n");
}

TEST(ProfileTextWriting, EmptiedSectionKeepsItsPlaceAndTheBlankLinesAfterIt) {
  ProfileText text =
      ProfileText::Parse("[a]\nHost=a\n; note\nFoo\n\n\n[b]\nHost=b\n[A]\nHost=dup\n");
  text.EmptySection(" a ");
  text.EmptySection("missing");
  EXPECT_EQ(text.Serialize(), "[a]\n\n\n[b]\nHost=b\n[A]\nHost=dup\n[missing]\n");
  EXPECT_EQ(ValueOr(text, "a", "Host"), "?") << "the first of two sections counts";
  text.SetValue("a", "Host", "back");
  EXPECT_EQ(text.Serialize(), "[a]\nHost=back\n\n\n[b]\nHost=b\n[A]\nHost=dup\n[missing]\n");
  ProfileText twice = ProfileText::Parse("[a]\nK=1\nk=2\n[b]\n");
  twice.RemoveKey("A", "K");
  EXPECT_EQ(twice.Serialize(), "[a]\n[b]\n") << "every line of the key goes";
}

TEST(ProfileTextWriting, NamesHoldingBracketsOrEqualsReadBack) {
  const std::vector<std::string> names = {"a]b", "x=y", "[z", "]", "semi;colon"};
  ProfileText text;
  for (const std::string& name : names) text.SetValue(name, "Host", name);
  const ProfileText reread = ProfileText::Parse(text.Serialize());
  EXPECT_EQ(Names(reread), names);
  for (const std::string& name : names) EXPECT_EQ(ValueOr(reread, name, "Host"), name);
  text.SetValue("z", "Zero", std::string("a\0b", 3));
  EXPECT_EQ(ValueOr(ProfileText::Parse(text.Serialize()), "z", "Zero"), "a b");
  for (const char* key : {"a=b", " [a", ";a", " \t"}) EXPECT_FALSE(ProfileText::IsWritableKey(key));
}

class PrivateProfile : public ::testing::Test {
 protected:
  std::uint32_t Names(std::uint32_t size) {
    buffer.assign(size + 1, '#');
    const std::uint32_t length = GetPrivateProfileSectionNamesA(buffer.data(), size, file);
    EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
    return length;
  }

  testing::TempDir dir;
  std::string file = dir.File();
  std::vector<char> buffer;
};

TEST_F(PrivateProfile, SectionNamesListEndsInTwoZerosAndDropsNamesThatDoNotFit) {
  EXPECT_EQ(Names(16), 0u) << "missing file";
  EXPECT_EQ(std::string(buffer.data(), 2), std::string(2, '\0'));
  EXPECT_EQ(std::tuple(Names(1), buffer[0]), std::tuple(0u, '\0'));
  WriteFile(file, "[one]\n[two]\n[]\n[ONE]\n[three]\n");
  EXPECT_EQ(Names(16), 14u);
  EXPECT_EQ(std::string(buffer.data(), 15), std::string("one\0two\0three\0\0", 15));
  EXPECT_EQ(Names(13), 11u) << "\"three\" and the final zero do not fit: size - 2 says so";
  EXPECT_EQ(std::string(buffer.data(), 9), std::string("one\0two\0\0", 9));
  EXPECT_EQ(Names(15), 14u) << "exact fit";
  EXPECT_EQ(Names(14), 12u) << "one byte short";
}

// Numbers beyond the field's range are held at its nearest end, never wrapped
// to the other sign.
TEST_F(PrivateProfile, IntegersReadTheirLeadingNumber) {
  const std::int32_t min = INT32_MIN, max = INT32_MAX;
  struct Case {
    std::string text;
    std::int32_t asUnsigned, asSigned;
  };
  const Case cases[] = {{"-5", -5, -5},
                        {"+7", 7, 7},
                        {"12abc", 12, 12},
                        {"abc", 0, 0},
                        {"", 7, 7},
                        {"'42'", 42, 42},
                        {"- 3", 0, 0},
                        {"4294967295", -1, max},
                        {"99999999999", -1, max},
                        {"-2147483648", min, min},
                        {"-99999999999", min, min}};
  std::string text = "[n]\n";
  for (std::size_t i = 0; i < std::size(cases); ++i)
    text += "k" + std::to_string(i) + "=" + cases[i].text + "\n";
  WriteFile(file, text);
  const ProfileText parsed = ProfileText::Parse(text);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string key = "k" + std::to_string(i);
    EXPECT_EQ(GetPrivateProfileIntA("n", key, 7, file),
              static_cast<std::uint32_t>(cases[i].asUnsigned))
        << cases[i].text;
    EXPECT_EQ(GetProfileInt32("n", key, 7, parsed), cases[i].asSigned) << cases[i].text;
  }
  EXPECT_EQ(GetPrivateProfileIntA("n", "missing", 7, file), 7u);
}

TEST_F(PrivateProfile, SectionWritesReplaceOrAppendAndBadKeysChangeNothing) {
  ASSERT_TRUE(WritePrivateProfileStringA("a", "Host", "a", file).ok()) << "creates the file";
  ASSERT_TRUE(WritePrivateProfileStringA("b", "Host", "b", file).ok());
  ASSERT_TRUE(WritePrivateProfileSectionA("A", std::string("X=1\0Y=\0\0", 8), file).ok());
  ASSERT_TRUE(WritePrivateProfileSectionA("c", "", file).ok());
  const FileResult bad = WritePrivateProfileStringA("a", "K=ey", "v", file);
  EXPECT_NE(bad.error.find(file), std::string::npos) << bad.error;
  for (const char* list : {"nokey", ";k=v", "=v"})
    EXPECT_FALSE(WritePrivateProfileSectionA("a", std::string(list) + '\0', file).ok()) << list;
  EXPECT_EQ(ReadFile(file), "[a]\nX=1\nY=\n[b]\nHost=b\n[c]\n");
}

}  // namespace
}  // namespace kelvoran
