#include "platform/leftover_files.h"

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

namespace kelvoran {
namespace {

using Native = std::filesystem::path::string_type;
using NativeView = std::basic_string_view<Native::value_type>;

// The digits at the front of `text`, taken off it, as a number; none when
// there are none or too many for 64 bits.
std::optional<std::uint64_t> TakeNumber(NativeView& text) {
  const auto end =
      std::find_if(text.begin(), text.end(), [](auto c) { return c < '0' || c > '9'; });
  const auto digits = static_cast<std::size_t>(end - text.begin());
  if (digits == 0 || digits > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < digits; ++i)
    value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
  text.remove_prefix(digits);
  return value;
}

bool TakePrefix(NativeView& text, NativeView prefix) {
  if (!text.starts_with(prefix)) return false;
  text.remove_prefix(prefix.size());
  return true;
}

bool TakeChar(NativeView& text, char c) {
  if (text.empty() || text.front() != static_cast<Native::value_type>(c)) return false;
  text.remove_prefix(1);
  return true;
}

// 63 random bits: at most 19 digits, all of which LeftoverOwner reads back.
// std::random_device draws on getrandom(2) on Linux and rand_s on Windows.
std::uint64_t RandomNumber() {
  std::random_device random;
  const std::uint64_t high = random();
  return ((high << 32) | random()) >> 1;
}

}  // namespace

std::filesystem::path TempFileName(const std::filesystem::path& target, std::uint64_t pid) {
  std::filesystem::path name = ".";
  name += target.filename();
  // Appended piece by piece: GCC 12's optimiser takes "." + to_string(...)
  // for an overlapping copy and warns (-Wrestrict).
  std::string tail = ".";
  tail.append(std::to_string(pid))
      .append("-")
      .append(std::to_string(RandomNumber()))
      .append(".tmp");
  name += tail;
  return std::filesystem::path(target).replace_filename(name);
}

std::optional<std::uint64_t> LeftoverOwner(const std::filesystem::path& fileName,
                                           const std::filesystem::path& target) {
  NativeView name = fileName.native();
  const std::filesystem::path base = target.filename();
  if (!TakeChar(name, '.') || !TakePrefix(name, base.native()) || !TakeChar(name, '.'))
    return std::nullopt;
  const std::optional<std::uint64_t> pid = TakeNumber(name);
  if (!pid || !TakeChar(name, '-') || !TakeNumber(name)) return std::nullopt;
  static const std::filesystem::path suffix(".tmp");
  if (name != NativeView(suffix.native())) return std::nullopt;
  return pid;
}

void RemoveLeftoverTempFiles(const std::filesystem::path& target,
                             const std::function<bool(std::uint64_t pid)>& processExists) {
  std::error_code error;
  const std::filesystem::path directory =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::filesystem::directory_iterator entries(directory, error);
  for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    const std::filesystem::path& path = entries->path();
    const std::optional<std::uint64_t> owner = LeftoverOwner(path.filename(), target);
    if (!owner || processExists(*owner)) continue;
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
}

}  // namespace kelvoran
