#include "engine/host_list_text.h"

#include <algorithm>
#include <optional>

#include "engine/host_settings.h"

namespace kelvoran {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
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

}  // namespace

ParsedHostList ParseHostListText(std::string_view text) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
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
