#include "portable/private_profile.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "portable/atomic_file.h"
#include "portable/file_lock.h"

namespace kelvoran {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The number an optional sign and the decimal digits after it spell, up to
// the first other character, held within [minimum, maximum] so that a number
// too large for its field never comes back with the other sign.
std::int64_t ParseNumber(std::string_view text, std::int64_t minimum, std::int64_t maximum) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const std::int64_t limit = negative ? -minimum : maximum;
  std::int64_t magnitude = 0;
  for (std::size_t i = 0; i < text.size() && IsDigit(text[i]); ++i)
    magnitude = std::min<std::int64_t>(magnitude * 10 + (text[i] - '0'), limit);
  return negative ? -magnitude : magnitude;
}

// A key list entry split at its first '='.
struct KeyEntry {
  std::string_view key, value;
};

std::optional<std::vector<KeyEntry>> SplitKeyList(std::string_view list) {
  std::vector<KeyEntry> entries;
  while (!list.empty() && list.front() != '\0') {
    const std::string_view entry = list.substr(0, list.find('\0'));
    list.remove_prefix(std::min(list.size(), entry.size() + 1));
    const std::size_t equals = entry.find('=');
    const std::string_view key = entry.substr(0, equals);
    if (equals == std::string_view::npos || !ProfileText::IsWritableKey(key)) return std::nullopt;
    entries.push_back({key, entry.substr(equals + 1)});
  }
  return entries;
}

FileResult BadKey(const std::string& fileName, std::string_view key) {
  return {"Cannot write \"" + fileName + "\": \"" + std::string(key) +
          "\" cannot be used as a key name"};
}

// How long a save waits for another copy's save to end: saves take
// milliseconds, so only a copy stopped in the middle of one holds it longer.
constexpr auto kSavePatience = std::chrono::seconds(5);

}  // namespace

FileResult ReadProfile(const std::string& fileName, ProfileText& text, ProfileWitness* witness) {
  std::optional<std::string> bytes;
  FileResult result = ReadWholeFile(fileName, bytes);
  if (result.ok() && witness) witness->Saw(bytes.value_or(""));
  text = ProfileText::Parse(bytes ? std::move(*bytes) : std::string());
  return result;
}

FileResult EditProfile(const std::string& fileName, const std::function<void(ProfileText&)>& change,
                       ProfileWitness* witness) {
  return EditProfileUnlessCancelled(
      fileName,
      [&](ProfileText& text) {
        change(text);
        return true;
      },
      witness);
}

FileResult EditProfileUnlessCancelled(const std::string& fileName,
                                      const std::function<bool(ProfileText&)>& change,
                                      ProfileWitness* witness) {
  // A lock file that cannot be made (a read-only folder, another user's file
  // in a shared one) does not stop the save: the save says what is wrong, or
  // goes through as it did before there was a lock.
  const FileLock lock =
      FileLock::Take(LockPathBeside(fileName), FileLock::Slot::Save, kSavePatience);
  if (lock.outcome() == FileLock::Outcome::Busy)
    return {"Cannot write \"" + fileName +
            "\": another copy of Kelvoran has been saving it for too long"};
  std::optional<std::string> bytes;
  if (FileResult read = ReadWholeFile(fileName, bytes); !read.ok()) return read;
  if (witness) witness->Compare(bytes.value_or(""));
  ProfileText text = ProfileText::Parse(bytes ? std::move(*bytes) : std::string());
  if (!change(text)) return {};
  const std::string written = text.Serialize();
  FileResult result = ReplaceFileAtomically(fileName, written);
  if (result.ok() && witness) witness->Saw(written);
  return result;
}

std::uint32_t GetPrivateProfileSectionNamesA(char* buffer, std::uint32_t size,
                                             const ProfileText& file) {
  if (size < 2) {
    if (size == 1) buffer[0] = '\0';
    return 0;
  }
  std::uint32_t used = 0;
  bool cut = false;
  for (const std::string_view name : file.SectionNames()) {
    // Room for the name, its zero and the final zero.
    if (name.size() + 2 > size - used) {
      cut = true;
      break;
    }
    std::memcpy(buffer + used, name.data(), name.size());
    used += static_cast<std::uint32_t>(name.size());
    buffer[used++] = '\0';
  }
  buffer[used] = '\0';
  if (used == 0) buffer[1] = '\0';
  // A cut list says so the way the call always has: size - 2.
  return cut ? size - 2 : used;
}

std::uint32_t GetPrivateProfileSectionNamesA(char* buffer, std::uint32_t size,
                                             const std::string& fileName) {
  ProfileText text;
  (void)ReadProfile(fileName, text);  // unreadable reads as empty: no names
  return GetPrivateProfileSectionNamesA(buffer, size, text);
}

std::uint32_t GetPrivateProfileStringA(std::string_view section, std::string_view key,
                                       std::string_view defaultValue, char* buffer,
                                       std::uint32_t size, const ProfileText& file) {
  if (size == 0) return 0;
  const std::string_view value = file.FindValue(section, key).value_or(defaultValue);
  const auto copied = static_cast<std::uint32_t>(std::min<std::size_t>(value.size(), size - 1));
  std::memcpy(buffer, value.data(), copied);
  buffer[copied] = '\0';
  return copied;
}

std::uint32_t GetPrivateProfileStringA(std::string_view section, std::string_view key,
                                       std::string_view defaultValue, char* buffer,
                                       std::uint32_t size, const std::string& fileName) {
  ProfileText text;
  (void)ReadProfile(fileName, text);  // unreadable reads as empty: the default
  return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, text);
}

std::uint32_t GetPrivateProfileIntA(std::string_view section, std::string_view key,
                                    std::int32_t defaultValue, const ProfileText& file) {
  const auto value = file.FindValue(section, key);
  if (!value || value->empty()) return static_cast<std::uint32_t>(defaultValue);
  return static_cast<std::uint32_t>(ParseNumber(*value, INT32_MIN, UINT32_MAX));
}

std::int32_t GetProfileInt32(std::string_view section, std::string_view key,
                             std::int32_t defaultValue, const ProfileText& file) {
  const auto value = file.FindValue(section, key);
  if (!value || value->empty()) return defaultValue;
  return static_cast<std::int32_t>(ParseNumber(*value, INT32_MIN, INT32_MAX));
}

std::uint32_t GetPrivateProfileIntA(std::string_view section, std::string_view key,
                                    std::int32_t defaultValue, const std::string& fileName) {
  ProfileText text;
  (void)ReadProfile(fileName, text);  // unreadable reads as empty: the default
  return GetPrivateProfileIntA(section, key, defaultValue, text);
}

FileResult WritePrivateProfileStringA(std::string_view section, std::string_view key,
                                      std::string_view value, const std::string& fileName) {
  if (!ProfileText::IsWritableKey(key)) return BadKey(fileName, key);
  return EditProfile(fileName, [&](ProfileText& text) { text.SetValue(section, key, value); });
}

FileResult WritePrivateProfileSectionA(std::string_view section, std::string_view keyList,
                                       const std::string& fileName) {
  const auto entries = SplitKeyList(keyList);
  if (!entries) return BadKey(fileName, keyList.substr(0, keyList.find('\0')));
  return EditProfile(fileName, [&](ProfileText& text) {
    text.EmptySection(section);
    for (const KeyEntry& entry : *entries) text.AppendKey(section, entry.key, entry.value);
  });
}

}  // namespace kelvoran
