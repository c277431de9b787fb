#include "engine/host_list_text.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "engine/host_settings.h"
#include "portable/ansi_text.h"
#include "portable/exported_text.h"

namespace kelvoran {
namespace {

constexpr std::size_t kLongestText = kSettingBufferSize - 1;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Reads one field from the front of `rest` and moves past it and its comma.
// nullopt when a quoted field is not closed.
std::optional<std::string> TakeField(std::string_view& rest) {
  rest = TrimBlanks(rest);
  std::string field;
  if (rest.starts_with('"')) {
    std::size_t i = 1;
    for (;; ++i) {
      if (i >= rest.size()) return std::nullopt;
      if (rest[i] != '"') {
        field.push_back(rest[i]);
      } else if (i + 1 < rest.size() && rest[i + 1] == '"') {
        field.push_back('"');
        ++i;
      } else {
        break;
      }
    }
    rest.remove_prefix(i + 1);
    const std::size_t comma = rest.find(',');
    rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
    return field;
  }
  const std::size_t comma = rest.find(',');
  field = TrimBlanks(rest.substr(0, comma));
  rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
  return field;
}

// Why the fields cannot be a host, or empty when they can.
std::string Fault(const HostListEntry& entry) {
  if (entry.host.empty()) return "no host name";
  const bool unprintable = std::any_of(entry.host.begin(), entry.host.end(), [](char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == '\x7F';
  });
  if (unprintable) return "the host name holds a blank or a control character";
  if (entry.host.size() > kLongestText) return "the host name is longer than 1023 characters";
  if (entry.description.size() > kLongestText)
    return "the description is longer than 1023 characters";
  return {};
}

void ParseLine(std::string_view line, std::size_t number, ParsedHostList& parsed) {
  const std::string_view body = TrimBlanks(line);
  if (body.empty() || body.front() == '#') return;
  std::string_view rest = body;
  const auto host = TakeField(rest);
  const auto description = host ? TakeField(rest) : std::nullopt;
  if (!description) {
    parsed.refused.push_back({number, "a quotation mark is not closed"});
    return;
  }
  HostListEntry entry{*host, *description, number};
  if (std::string why = Fault(entry); !why.empty())
    parsed.refused.push_back({number, std::move(why)});
  else
    parsed.entries.push_back(std::move(entry));
}

bool NeedsQuotes(std::string_view field) {
  return field.find_first_of(",\"\r\n") != std::string_view::npos || field.starts_with('#') ||
         (!field.empty() && (IsBlank(field.front()) || IsBlank(field.back())));
}

void AppendField(std::string& out, std::string_view field) {
  if (!NeedsQuotes(field)) {
    out.append(field);
    return;
  }
  out.push_back('"');
  for (const char c : field) {
    if (c == '"') out.push_back('"');
    // A line break would split the line: the settings file holds it as a blank.
    out.push_back(c == '\r' || c == '\n' ? ' ' : c);
  }
  out.push_back('"');
}

constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";
constexpr char kEndOfFileMark = '\x1A';

// The 1-based line of the byte at `offset`, with lines counted as
// ParseHostListText counts them.
std::size_t LineAt(std::string_view text, std::size_t offset) {
  std::size_t line = 1;
  for (std::size_t i = 0; i < offset; ++i)
    if (text[i] == '\n' || (text[i] == '\r' && !text.substr(i + 1).starts_with('\n'))) ++line;
  return line;
}

void AppendUtf8(std::string& out, char32_t code) {
  const auto byte = [](char32_t bits) { return static_cast<char>(bits); };
  if (code < 0x80) {
    out.push_back(byte(code));
  } else if (code < 0x800) {
    out += {byte(0xC0 | code >> 6), byte(0x80 | (code & 0x3F))};
  } else if (code < 0x10000) {
    out += {byte(0xE0 | code >> 12), byte(0x80 | (code >> 6 & 0x3F)), byte(0x80 | (code & 0x3F))};
  } else {
    out += {byte(0xF0 | code >> 18), byte(0x80 | (code >> 12 & 0x3F)),
            byte(0x80 | (code >> 6 & 0x3F)), byte(0x80 | (code & 0x3F))};
  }
}

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

// UTF-16 after its byte-order mark, as UTF-8.
DecodedHostList FromUtf16(std::string_view units, bool bigEndian) {
  if (units.size() % 2 != 0) return {{}, "The UTF-16 text ends in the middle of a character."};
  const auto unitAt = [&](std::size_t i) -> char32_t {
    const auto first = static_cast<unsigned char>(units[i]);
    const auto second = static_cast<unsigned char>(units[i + 1]);
    return bigEndian ? (first << 8 | second) : (second << 8 | first);
  };
  DecodedHostList decoded;
  decoded.text.reserve(units.size() / 2);
  for (std::size_t i = 0; i < units.size(); i += 2) {
    char32_t code = unitAt(i);
    if (IsHighSurrogate(code) && i + 2 < units.size() && IsLowSurrogate(unitAt(i + 2))) {
      code = 0x10000 + ((code - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00);
      i += 2;
    } else if (IsHighSurrogate(code) || IsLowSurrogate(code)) {
      return {{},
              "The UTF-16 text holds a broken character on line " +
                  std::to_string(LineAt(decoded.text, decoded.text.size())) + "."};
    }
    AppendUtf8(decoded.text, code);
  }
  return decoded;
}

bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte < ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f') || byte == 0x7F;
}

// Refuses text that holds a control character a text file does not.
DecodedHostList RefusingControls(DecodedHostList decoded) {
  const auto found = std::find_if(decoded.text.begin(), decoded.text.end(), IsControl);
  if (found == decoded.text.end()) return decoded;
  const auto offset = static_cast<std::size_t>(found - decoded.text.begin());
  char code[8];
  std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned char>(*found));
  return {{},
          "This is not a text file: line " + std::to_string(LineAt(decoded.text, offset)) +
              " holds the control character " + code +
              ". Host lists are text: UTF-8, UTF-16 with a byte-order mark, or 8-bit."};
}

}  // namespace

DecodedHostList DecodeHostListFile(std::string_view bytes) {
  DecodedHostList decoded;
  const bool utf16 = bytes.starts_with(kUtf16LeMark) || bytes.starts_with(kUtf16BeMark);
  const bool utf8 = bytes.starts_with(Utf8ByteOrderMark);
  if (utf16) {
    decoded = FromUtf16(bytes.substr(2), bytes.starts_with(kUtf16BeMark));
    if (!decoded.refusal.empty()) return decoded;
  } else {
    if (utf8) bytes.remove_prefix(Utf8ByteOrderMark.size());
    decoded.text = bytes;
  }
  if (decoded.text.ends_with(kEndOfFileMark)) decoded.text.pop_back();
  decoded = RefusingControls(std::move(decoded));
  // A file marked as Unicode is UTF-8 by now; the list's texts are 8-bit
  // ones (ANSI on Windows). An unmarked file is taken as it is, as a file
  // written by hand or by an older version is.
  if ((utf16 || utf8) && decoded.refusal.empty()) decoded.text = FromUtf8Text(decoded.text);
  return decoded;
}

ParsedHostList ParseHostListText(std::string_view text) {
  if (text.starts_with(Utf8ByteOrderMark)) text.remove_prefix(Utf8ByteOrderMark.size());
  ParsedHostList parsed;
  std::size_t number = 0;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
    ParseLine(text.substr(0, end), ++number, parsed);
    const bool crlf = text.substr(end).starts_with("\r\n");
    text.remove_prefix(std::min(text.size(), end + (crlf ? 2 : 1)));
  }
  return parsed;
}

std::string FormatHostListText(const std::vector<HostListEntry>& entries) {
  std::string out = "# Kelvoran host list: host name, description\n";
  for (const HostListEntry& entry : entries) {
    AppendField(out, entry.host);
    if (!entry.description.empty()) {
      out.push_back(',');
      AppendField(out, entry.description);
    }
    out.push_back('\n');
  }
  return out;
}

}  // namespace kelvoran
