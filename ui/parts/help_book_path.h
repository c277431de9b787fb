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

// The compiled help book on Windows: the program's path with its extension
// replaced by ".HLP", all in upper case (ASCII letters; the file system does
// not care), with "KELVORAN.HLP" replaced by "KELVORAN.CHM". A program of
// another name keeps the ".HLP" ending.
std::filesystem::path CompiledHelpPath(const std::filesystem::path& program);

}  // namespace kelvoran
