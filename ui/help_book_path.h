#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace kelvoran {

// The help book is a zip of HTML pages with a project file, the form the
// built-in help viewer reads.
inline constexpr std::string_view kHelpBookExtension = ".htb";
// The name under which the book is installed in the data directory.
inline constexpr std::string_view kInstalledHelpBookName = "kelvoran.htb";

// The regular file in `dir` whose name equals `name` without regard to ASCII
// case. An exact match wins; among other matches the smallest name, so the
// choice does not depend on the order of the directory.
std::optional<std::filesystem::path> FindFileIgnoringCase(const std::filesystem::path& dir,
                                                          std::string_view name);

// The help book: next to the program file and named after it (its extension
// replaced), in any case; otherwise the installed book in `installedDir`.
std::optional<std::filesystem::path> FindHelpBook(const std::filesystem::path& program,
                                                  const std::filesystem::path& installedDir);

}  // namespace kelvoran
