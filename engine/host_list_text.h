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

// A host list file's bytes as the text ParseHostListText reads, or why they
// are not text. The file is refused whole, so that a binary file chosen by
// mistake adds nothing rather than thousands of garbage hosts:
//  - a file that starts with a UTF-16 byte-order mark (either byte order) is
//    read as UTF-16 and handed on as UTF-8; one that ends in half a character
//    or holds a lone surrogate is refused;
//  - a UTF-8 byte-order mark is dropped; other bytes pass unchanged;
//  - the text may hold no control character but tab, line feed, carriage
//    return and form feed: a zero byte or another one says the file is not
//    text (or UTF-16 without its mark). One end-of-file mark (Ctrl+Z) at the
//    very end, as old editors write, is dropped.
struct DecodedHostList {
  std::string text;
  std::string refusal;  // empty when the bytes are text
};
DecodedHostList DecodeHostListFile(std::string_view bytes);

// Every host line of the text, in order; lines that cannot be a host (no
// name, a name with blanks or control characters, a text too long for the
// settings file, an unclosed quote) are refused with the reason.
ParsedHostList ParseHostListText(std::string_view text);

// The text that ParseHostListText reads back to the same hosts and
// descriptions: a comment line first, then one line a host, LF-ended.
std::string FormatHostListText(const std::vector<HostListEntry>& entries);

}  // namespace kelvoran
