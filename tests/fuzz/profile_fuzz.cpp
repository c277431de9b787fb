// libFuzzer target for the settings-file parser and writer: any bytes must
// parse, pass through unchanged when nothing is written, and take writes
// without losing, gaining or breaking sections.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "portable/private_profile.h"

namespace {

using kelvoran::ProfileText;

void Require(bool condition) {
  if (!condition) std::abort();
}

std::set<std::string> FoldedNames(const ProfileText& text) {
  std::set<std::string> names;
  for (std::string_view name : text.SectionNames()) {
    std::string folded(name);
    for (char& c : folded)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    names.insert(folded);
  }
  return names;
}

// Reads every section the way the host list loader does.
std::string ReadAllSections(const ProfileText& text) {
  char names[10240];
  const std::uint32_t length = kelvoran::GetPrivateProfileSectionNamesA(names, sizeof names, text);
  Require(names[length] == '\0' && (length == 0 || names[length - 1] == '\0'));
  std::string first;
  for (const char* name = names; *name != '\0'; name += std::strlen(name) + 1) {
    char value[1024];
    const std::uint32_t copied =
        kelvoran::GetPrivateProfileStringA(name, "Host", "", value, sizeof value, text);
    Require(copied < sizeof value && value[copied] == '\0');
    (void)kelvoran::GetPrivateProfileIntA(name, "Timeout", 10, text);
    if (first.empty()) first = name;
  }
  return first.empty() ? "fuzz" : first;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  ProfileText text = ProfileText::Parse(bytes);
  Require(text.Serialize() == bytes);
  const std::string section = ReadAllSections(text);
  const auto before = FoldedNames(text);

  // The input's own bytes, line breaks and brackets included, as a value and
  // as a section name.
  const std::string value = bytes.substr(0, 64);
  text.SetValue(section, "Host", value);
  text.SetValue(value, "Description", value);
  ProfileText reread = ProfileText::Parse(text.Serialize());
  Require(reread.FindValue(section, "Host").has_value());
  // The index kept up to date through the writes agrees with a fresh parse.
  Require(FoldedNames(text) == FoldedNames(reread));
  for (std::string_view name : reread.SectionNames())
    Require(text.FindValue(name, "Host") == reread.FindValue(name, "Host"));
  const auto after = FoldedNames(reread);
  for (const std::string& name : before) Require(after.count(name) == 1);
  Require(after.size() <= before.size() + 2);

  reread.EmptySection(section);
  Require(!ProfileText::Parse(reread.Serialize()).FindValue(section, "Host").has_value());
  return 0;
}
