#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "portable/file_result.h"
#include "portable/profile_text.h"

namespace kelvoran {

// The private-profile operations on a settings file of the INI kind (see
// ProfileText for how its text is read and written). Texts are 8-bit and
// passed through unchanged; sizes count the terminating zero.
//
// Each operation that takes a file name reads the file afresh, so it always
// sees what is on disk. A caller that reads many keys at once reads the file
// into a ProfileText with ReadProfile and uses the overloads that take it.
// Every write reads the file, changes it in memory and replaces it whole with
// ReplaceFileAtomically; a file that exists but cannot be read is never
// written, as that would drop every other section.

// What one copy of the program last read or wrote of its settings file, so
// that its next save can tell whether someone else changed the file since.
class ProfileWitness {
 public:
  void Saw(std::string_view bytes) { seen_ = Fingerprint(bytes); }
  // Records whether `bytes` differ from what was last seen (nothing seen
  // yet: no); stays set until TakeChangedElsewhere.
  void Compare(std::string_view bytes) {
    changedElsewhere_ |= seen_ && *seen_ != Fingerprint(bytes);
  }
  bool TakeChangedElsewhere() { return std::exchange(changedElsewhere_, false); }

 private:
  using Print = std::pair<std::size_t, std::size_t>;
  static Print Fingerprint(std::string_view bytes) {
    return {bytes.size(), std::hash<std::string_view>{}(bytes)};
  }
  std::optional<Print> seen_;
  bool changedElsewhere_ = false;
};

// Reads `fileName` into `text`; a missing file reads as an empty one.
// `witness`, when given, sees what was read.
FileResult ReadProfile(const std::string& fileName, ProfileText& text,
                       ProfileWitness* witness = nullptr);

// Reads the file, lets `change` edit it and replaces it, holding the save
// lock beside the file all the while: two copies of the program saving into
// one file at once each apply their change to what the other wrote, and
// neither loses anything. The witness, when given, compares what was read with
// what it saw last and then sees what was written.
FileResult EditProfile(const std::string& fileName, const std::function<void(ProfileText&)>& change,
                       ProfileWitness* witness = nullptr);
// The same for a change that may be called off: when `change` returns false
// nothing is written and the file stays as it was, byte for byte.
FileResult EditProfileUnlessCancelled(const std::string& fileName,
                                      const std::function<bool(ProfileText&)>& change,
                                      ProfileWitness* witness = nullptr);

// Copies the section names, in file order, each followed by a zero byte, and
// one more zero byte after the last. Names that do not fit whole are left out
// so the list still ends in two zero bytes, and the result is then size - 2,
// which tells the caller to try again with a larger buffer. Otherwise returns
// the bytes copied, final zero not counted: 0 when the file is missing,
// unreadable or has no section.
std::uint32_t GetPrivateProfileSectionNamesA(char* buffer, std::uint32_t size,
                                             const std::string& fileName);
std::uint32_t GetPrivateProfileSectionNamesA(char* buffer, std::uint32_t size,
                                             const ProfileText& file);

// Copies the key's value, or `defaultValue` when the section or key is
// missing, cut to size - 1 bytes, with a terminating zero. Returns the bytes
// copied without the terminator.
std::uint32_t GetPrivateProfileStringA(std::string_view section, std::string_view key,
                                       std::string_view defaultValue, char* buffer,
                                       std::uint32_t size, const std::string& fileName);
std::uint32_t GetPrivateProfileStringA(std::string_view section, std::string_view key,
                                       std::string_view defaultValue, char* buffer,
                                       std::uint32_t size, const ProfileText& file);

// The number the key's value spells: an optional sign, then decimal digits up
// to the first other character ("12abc" gives 12, no digits give 0). Returns
// `defaultValue` when the key is missing or its value is empty. The result is
// the value modulo 2^32, so every signed and unsigned 32-bit number reads
// back as written; numbers beyond both ranges are held at -2147483648 and
// 4294967295.
std::uint32_t GetPrivateProfileIntA(std::string_view section, std::string_view key,
                                    std::int32_t defaultValue, const std::string& fileName);
std::uint32_t GetPrivateProfileIntA(std::string_view section, std::string_view key,
                                    std::int32_t defaultValue, const ProfileText& file);
// The same for a signed 32-bit setting: a number beyond its range is held at
// the nearest end, so it never reads back with the other sign.
std::int32_t GetProfileInt32(std::string_view section, std::string_view key,
                             std::int32_t defaultValue, const ProfileText& file);

// Sets the key to `value` (see ProfileText::SetValue); creates the file and
// the section when missing. Fails on a key name that cannot be written.
FileResult WritePrivateProfileStringA(std::string_view section, std::string_view key,
                                      std::string_view value, const std::string& fileName);

// Replaces the keys of the section by `keyList`: "key=value" entries, each
// ended by a zero byte, the list by one more (an empty view: no keys). The
// section keeps its place, or is added at the end of the file.
FileResult WritePrivateProfileSectionA(std::string_view section, std::string_view keyList,
                                       const std::string& fileName);

}  // namespace kelvoran
