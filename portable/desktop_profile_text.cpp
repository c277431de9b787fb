#include "portable/desktop_profile_text.h"

#include <cctype>

namespace kelvoran {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// wx drops the blanks before a line, a key and a value, and those after a key,
// but keeps those after a value (only a line's own '\r' goes).
std::string_view TrimFront(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view TrimBlanks(std::string_view text) {
  text = TrimFront(text);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A group or key name: each backslash makes the next character literal.
std::string UnescapeName(std::string_view name) {
  std::string plain;
  for (std::size_t at = 0; at < name.size(); ++at) {
    if (name[at] == '\\' && at + 1 < name.size()) ++at;
    plain += name[at];
  }
  return plain;
}

// Where a name ends at `stop`, skipping escaped characters; npos if never.
std::size_t NameEnd(std::string_view line, char stop) {
  for (std::size_t at = 0; at < line.size(); ++at) {
    if (line[at] == '\\')
      ++at;
    else if (line[at] == stop)
      return at;
  }
  return std::string_view::npos;
}

std::string UnescapeValue(std::string_view value) {
  const bool quoted = !value.empty() && value.front() == '"';
  if (quoted) value.remove_prefix(1);
  if (quoted && !value.empty() && value.back() == '"') value.remove_suffix(1);
  std::string plain;
  for (std::size_t at = 0; at < value.size(); ++at) {
    if (value[at] != '\\') {
      plain += value[at];
      continue;
    }
    if (++at == value.size()) break;  // a trailing backslash is dropped, as wx does
    switch (value[at]) {
      case 'n':
        plain += '\n';
        break;
      case 'r':
        plain += '\r';
        break;
      case 't':
        plain += '\t';
        break;
      case '\\':
        plain += '\\';
        break;
      case '"':
        plain += '"';
        break;
      default:
        break;  // wx drops an unknown escape whole
    }
  }
  return plain;
}

}  // namespace

ProfileEntries ParseDesktopProfile(std::string_view text) {
  ProfileEntries entries;
  std::string group;
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    if (line.ends_with('\r')) line.remove_suffix(1);
    line = TrimFront(line);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      line.remove_prefix(1);
      const std::size_t end = NameEnd(line, ']');
      if (end == std::string_view::npos) continue;
      group = UnescapeName(line.substr(0, end));
      while (!group.empty() && group.front() == '/') group.erase(0, 1);
      continue;
    }
    const std::size_t equals = NameEnd(line, '=');
    if (equals == std::string_view::npos) continue;
    const std::string key = UnescapeName(TrimBlanks(line.substr(0, equals)));
    if (key.empty()) continue;
    entries[group.empty() ? key : group + "/" + key] =
        UnescapeValue(TrimFront(line.substr(equals + 1)));
  }
  return entries;
}

ProfileEntries EntriesBelow(const ProfileEntries& entries, std::string_view group) {
  const std::string prefix = std::string(group) + "/";
  ProfileEntries below;
  for (auto it = entries.lower_bound(prefix); it != entries.end() && it->first.starts_with(prefix);
       ++it)
    below.emplace(it->first.substr(prefix.size()), it->second);
  return below;
}

}  // namespace kelvoran
