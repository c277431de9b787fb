#include "engine/host_list_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
  EXPECT_EQ(Hosts(ParseHostListText(ImportedFileText(file))),
            (Pairs{{"caf\xE9", "d\xFCn"}, {"b", ""}}));
  EXPECT_EQ(ImportedFileText("caf\xE9,d\xC3\xBCn\r\n"), "caf\xE9,d\xC3\xBCn\r\n");
}

}  // namespace
}  // namespace kelvoran
