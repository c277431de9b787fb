#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

namespace kelvoran {

// A save writes its new file as "." name "." pid "-" n ".tmp" beside the file
// and then renames it over the file. A save killed between the two leaves the
// temporary file behind, and no one will ever finish it.

// A new temporary file's name for `target`, written by the process `pid`. The
// number after the pid is random: in a shared folder another user who could
// guess the next names would create them first and so block every save.
std::filesystem::path TempFileName(const std::filesystem::path& target, std::uint64_t pid);

// The process that wrote the file of that name for `target`, if it is such a
// temporary file.
std::optional<std::uint64_t> LeftoverOwner(const std::filesystem::path& fileName,
                                           const std::filesystem::path& target);

// Removes the temporary files of `target` whose writer no longer exists.
// Reports nothing: what cannot be listed or removed stays as it is.
void RemoveLeftoverTempFiles(const std::filesystem::path& target,
                             const std::function<bool(std::uint64_t pid)>& processExists);

}  // namespace kelvoran
