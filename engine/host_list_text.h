#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kelvoran {

// A host list as plain text, for moving many hosts in and out at once: one
// host a line, an optional description after a comma, so that a column pair
// saved by a spreadsheet as CSV reads too.
//  - lines end at LF, CRLF or CR; a UTF-8 byte-order mark at the start is
//    skipped; blank lines and lines whose first non-blank is '#' are skipped;
//  - a field may be enclosed in double quotes, with "" standing for one quote
//    inside; blanks around a field do not count; fields after the second
//    (other columns of a spreadsheet) are ignored;
//  - texts are 8-bit and pass through unchanged, as in the settings file.
struct HostListEntry {
  std::string host;
  std::string description;
  std::size_t line = 0;  // 1-based line number in the text
};

struct HostListRefusal {
  std::size_t line = 0;
  std::string why;
};

struct ParsedHostList {
  std::vector<HostListEntry> entries;
  std::vector<HostListRefusal> refused;
};

// Every host line of the text, in order; lines that cannot be a host (no
// name, a name with blanks or control characters, a text too long for the
// settings file, an unclosed quote) are refused with the reason.
ParsedHostList ParseHostListText(std::string_view text);

// The text that ParseHostListText reads back to the same hosts and
// descriptions: a comment line first, then one line a host, LF-ended.
std::string FormatHostListText(const std::vector<HostListEntry>& entries);

}  // namespace kelvoran
