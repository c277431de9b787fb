#include "platform/private_profile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings_files.h"

namespace kelvoran {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

class PrivateProfile : public ::testing::Test {
 protected:
  std::string String(std::string_view section, std::string_view key, std::uint32_t size = 1024) {
    std::vector<char> buffer(size + 1, '#');
    const std::uint32_t length =
        GetPrivateProfileStringA(section, key, "dflt", buffer.data(), size, file);
    EXPECT_EQ(buffer[length], '\0');
    EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
    return std::string(buffer.data(), length);
  }
  std::uint32_t Int(std::string_view key) { return GetPrivateProfileIntA("n", key, 7, file); }

  TempDir dir;
  std::string file = dir.File();
};

TEST_F(PrivateProfile, SectionNamesListEndsInTwoZerosAndDropsNamesThatDoNotFit) {
  char buffer[16];
  EXPECT_EQ(GetPrivateProfileSectionNamesA(buffer, sizeof buffer, file), 0u) << "missing file";
  EXPECT_EQ(std::string(buffer, 2), std::string(2, '\0'));

  WriteFile(file, "[one]\n[two]\n[]\n[ONE]\n[three]\n");
  EXPECT_EQ(GetPrivateProfileSectionNamesA(buffer, sizeof buffer, file), 14u);
  EXPECT_EQ(std::string(buffer, 15), std::string("one\0two\0three\0\0", 15));
  // 4 + 4 bytes fit, "three\0" and the final zero do not.
  EXPECT_EQ(GetPrivateProfileSectionNamesA(buffer, 13, file), 8u);
  EXPECT_EQ(std::string(buffer, 9), std::string("one\0two\0\0", 9));
  EXPECT_EQ(GetPrivateProfileSectionNamesA(buffer, 15, file), 14u) << "exact fit";
  EXPECT_EQ(GetPrivateProfileSectionNamesA(buffer, 14, file), 8u) << "one byte short";
}

TEST_F(PrivateProfile, StringsAreCutToTheBufferAndLoseOnePairOfQuotes) {
  WriteFile(file, "[s]\nLong=" + std::string(1500, 'x') + "\nQuoted=\"'q'\"\nEmpty=\n");
  EXPECT_EQ(String("s", "Long"), std::string(1023, 'x'));
  EXPECT_EQ(String("s", "Long", 4), "xxx");
  EXPECT_EQ(String("s", "Quoted"), "'q'");
  EXPECT_EQ(String("s", "Empty"), "");
  EXPECT_EQ(String("s", "Missing"), "dflt");
  EXPECT_EQ(String("missing", "Long"), "dflt");
  EXPECT_EQ(String("s", "Missing", 1), "");
}

TEST_F(PrivateProfile, IntegersReadTheirLeadingNumber) {
  WriteFile(file,
            "[n]\nNeg=-5\nPlus=+7\nJunk=12abc\nNone=abc\nEmpty=\nQuoted='42'\nMax=4294967295\n"
            "Min=-2147483648\nHuge=99999999999\nBlankSign=- 3\n");
  EXPECT_EQ(static_cast<std::int32_t>(Int("Neg")), -5);
  EXPECT_EQ(Int("Plus"), 7u);
  EXPECT_EQ(Int("Junk"), 12u);
  EXPECT_EQ(Int("None"), 0u);
  EXPECT_EQ(Int("Empty"), 7u);
  EXPECT_EQ(Int("Missing"), 7u);
  EXPECT_EQ(Int("Quoted"), 42u);
  EXPECT_EQ(Int("Max"), 4294967295u);
  EXPECT_EQ(static_cast<std::int32_t>(Int("Min")), INT32_MIN);
  EXPECT_EQ(Int("Huge"), 4294967295u);
  EXPECT_EQ(Int("BlankSign"), 0u);
}

TEST_F(PrivateProfile, WritesCreateTheFileAndPlaceSectionsAndKeys) {
  ASSERT_TRUE(WritePrivateProfileStringA("a", "Host", "a", file).ok());
  ASSERT_TRUE(WritePrivateProfileStringA("b", "Host", "b", file).ok());
  ASSERT_TRUE(WritePrivateProfileStringA("A", "Delay", "", file).ok());
  ASSERT_TRUE(WritePrivateProfileStringA("a", "HOST", "a2", file).ok());
  EXPECT_EQ(ReadFile(file), "[a]\nHOST=a2\nDelay=\n[b]\nHost=b\n");

  ASSERT_TRUE(WritePrivateProfileSectionA("a", std::string("X=1\0Y=\0\0", 8), file).ok());
  ASSERT_TRUE(WritePrivateProfileSectionA("c", "", file).ok());
  EXPECT_EQ(ReadFile(file), "[a]\nX=1\nY=\n[b]\nHost=b\n[c]\n");

  const FileResult bad = WritePrivateProfileStringA("a", "K=ey", "v", file);
  EXPECT_FALSE(bad.ok());
  EXPECT_NE(bad.error.find(file), std::string::npos);
  EXPECT_FALSE(WritePrivateProfileSectionA("a", std::string("nokey\0\0", 7), file).ok());
  EXPECT_EQ(ReadFile(file), "[a]\nX=1\nY=\n[b]\nHost=b\n[c]\n");
}

}  // namespace
}  // namespace kelvoran
