#include "engine/host_list_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "portable/ansi_text.h"
#include "portable/exported_text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kelvoran {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs Hosts(const ParsedHostList& parsed) {
  Pairs hosts;
  for (const HostListEntry& entry : parsed.entries)
    hosts.emplace_back(entry.host, entry.description);
  return hosts;
}

TEST(HostListText, ReadsHostsAndDescriptionsAndSaysWhichLinesItRefusesAndWhy) {
  const std::string text =
      "\xEF\xBB\xBF# exported\r\n"
      "gateway, Router\r\n"
      "\n"
      "  ;semi  \t,\"Quoted, with \"\"quotes\"\"\" ,extra column\r"
      ", nameless\n"
      "two words,x\n"
      "\"open,x\n" +
      std::string(1024, 'h') + "\n" + "ok," + std::string(1024, 'd') + "\n" + "last";
  const ParsedHostList parsed = ParseHostListText(text);
  EXPECT_EQ(Hosts(parsed),
            (Pairs{{"gateway", "Router"}, {";semi", "Quoted, with \"quotes\""}, {"last", ""}}));
  EXPECT_EQ(parsed.entries[1].line, 4u);
  std::vector<std::size_t> lines;
  for (const HostListRefusal& refusal : parsed.refused) lines.push_back(refusal.line);
  EXPECT_EQ(lines, (std::vector<std::size_t>{5, 6, 7, 8, 9}));
  EXPECT_EQ(parsed.refused[0].why, "no host name");
  EXPECT_EQ(parsed.refused[2].why, "a quotation mark is not closed");
  EXPECT_EQ(parsed.refused[4].why, "the description is longer than 1023 characters");
  const std::string longest(1023, 'x');
  EXPECT_TRUE(ParseHostListText(longest + "," + longest).refused.empty());
  EXPECT_EQ(ParseHostListText(std::string_view("\"ab\"", 3)).refused.size(), 1u)
      << "a quotation mark past the text's end closes nothing";
}

TEST(HostListText, WhatIsWrittenReadsBackTheSame) {
  const std::vector<HostListEntry> entries = {
      {"a", "", 0}, {"#b", " padded ", 0}, {"c\xE9", "x,\"y\"", 0}, {"d", "two\r\nlines", 0}};
  const ParsedHostList parsed = ParseHostListText(FormatHostListText(entries));
  EXPECT_TRUE(parsed.refused.empty());
  EXPECT_EQ(FormatHostListText({{"a", "", 0}}),
            "# Kelvoran host list: host name, description\na\n");
  EXPECT_EQ(Hosts(parsed),
            (Pairs{{"a", ""}, {"#b", " padded "}, {"c\xE9", "x,\"y\""}, {"d", "two  lines"}}));
}

// An exported list is what this system's spreadsheet programs read (on
// Windows: UTF-8 after the byte-order mark, CRLF), and it imports back to the
// same hosts. A file without the mark, written by hand or by an older
// version, is taken as it is.
TEST(HostListText, ExportedFilesImportBackTheSame) {
  const std::vector<HostListEntry> entries = {{"caf\xE9", "d\xFCn", 0}, {"b", "", 0}};
  const std::string file = ExportedFileText(FormatHostListText(entries));
#ifdef _WIN32
  if (GetACP() != 1252) GTEST_SKIP() << "code page " << GetACP();
  EXPECT_EQ(file,
            "\xEF\xBB\xBF# Kelvoran host list: host name, "
            "description\r\ncaf\xC3\xA9,d\xC3\xBCn\r\nb\r\n");
#else
  EXPECT_EQ(file, FormatHostListText(entries));
#endif
  EXPECT_EQ(Hosts(ParseHostListText(DecodeHostListFile(file).text)),
            (Pairs{{"caf\xE9", "d\xFCn"}, {"b", ""}}));
}

// A UTF-16 rendering of an ASCII text, with its byte-order mark.
std::string Utf16(std::string_view ascii, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char c : ascii) out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  return out;
}

TEST(HostListText, DecodesUtf16AndByteOrderMarksAndRefusesWhatIsNotText) {
  using namespace std::string_literals;
  const struct {
    std::string bytes, text, refusal;
  } cases[] = {
      {"a\r\nb\n", "a\r\nb\n", ""},
      {"\xEF\xBB\xBF"
       "caf\xC3\xA9\tx\f",
       "caf\xC3\xA9\tx\f", ""},
      {"8-bit \xE9\x1A", "8-bit \xE9", ""},
      {Utf16("a,b\r\nc", false), "a,b\r\nc", ""},
      {Utf16("a,b\r\nc", true), "a,b\r\nc", ""},
      {"\xFF\xFE\xE9\x00\x3D\xD8\x00\xDE"s, "\xC3\xA9\xF0\x9F\x98\x80", ""},
      {"\xFE\xFF\x20\xAC", "\xE2\x82\xAC", ""},
      {"", "", ""},
      {"ok\nok\r\nbad\0host\n"s, "", "line 3 holds the control character 0x00"},
      {"a\rb\x1B", "", "line 2 holds the control character 0x1B"},
      {"a\x1A\n", "", "line 1 holds the control character 0x1A"},
      {"a\x7F", "", "line 1 holds the control character 0x7F"},
      {Utf16("a\n", false).substr(2), "", "line 1 holds the control character 0x00"},
      {Utf16("a\nb\x01", true), "", "line 2 holds the control character 0x01"},
      {Utf16("ab", false) + "c", "", "ends in the middle of a character"},
      {Utf16("x\n", false) + "\x00\xD8y\x00"s, "", "broken character on line 2"},
      {Utf16("x", true) + "\xDC\x00"s, "", "broken character on line 1"},
  };
  for (const auto& [bytes, text, refusal] : cases) {
    const DecodedHostList decoded = DecodeHostListFile(bytes);
    // A marked file's UTF-8 becomes the list's 8-bit text (ANSI on Windows).
    const bool marked = bytes.starts_with("\xEF\xBB\xBF") || bytes.starts_with("\xFF\xFE") ||
                        bytes.starts_with("\xFE\xFF");
    EXPECT_EQ(decoded.text, marked ? FromUtf8Text(text) : text) << ::testing::PrintToString(bytes);
    if (refusal.empty())
      EXPECT_EQ(decoded.refusal, "") << ::testing::PrintToString(bytes);
    else
      EXPECT_NE(decoded.refusal.find(refusal), std::string::npos) << decoded.refusal;
  }
}

TEST(HostListText, AFileOfRandomBytesIsRefusedWhole) {
  std::mt19937 random(7);
  std::string bytes(1 << 20, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  EXPECT_EQ(DecodeHostListFile(bytes).text, "");
  EXPECT_NE(DecodeHostListFile(bytes).refusal, "");
  EXPECT_EQ(DecodeHostListFile(Utf16("", false) + bytes).text, "");
}

}  // namespace
}  // namespace kelvoran
