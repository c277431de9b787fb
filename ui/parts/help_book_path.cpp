#include "ui/parts/help_book_path.h"

#include <algorithm>
#include <string>
#include <system_error>

namespace kelvoran {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

}  // namespace

std::optional<std::filesystem::path> FindFileIgnoringCase(const std::filesystem::path& dir,
                                                          std::string_view name) {
  std::error_code error;
  std::filesystem::directory_iterator entries(dir, error);
  if (error) return std::nullopt;
  std::optional<std::string> best;
  // Unreadable entries end the walk; whatever was found so far still counts.
  for (; entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    if (error) break;
    const std::string candidate = entries->path().filename().string();
    // is_regular_file follows symbolic links, so a linked book is found too.
    if (!EqualIgnoringCase(candidate, name) || !entries->is_regular_file(error)) continue;
    if (candidate == name) return entries->path();
    if (!best || candidate < *best) best = candidate;
  }
  if (!best) return std::nullopt;
  return dir / *best;
}

std::optional<std::filesystem::path> FindHelpBook(const std::filesystem::path& program,
                                                  const std::filesystem::path& installedDir) {
  if (program.has_filename()) {
    const std::string beside = program.stem().string() + std::string(kHelpBookExtension);
    const std::filesystem::path dir = program.has_parent_path() ? program.parent_path() : ".";
    if (auto found = FindFileIgnoringCase(dir, beside)) return found;
  }
  if (installedDir.empty()) return std::nullopt;
  return FindFileIgnoringCase(installedDir, kInstalledHelpBookName);
}

std::filesystem::path CompiledHelpPath(const std::filesystem::path& program) {
  using Text = std::filesystem::path::string_type;
  std::filesystem::path help = program;
  help.replace_extension(".HLP");
  Text text = help.native();
  for (auto& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<Text::value_type>(c - 'a' + 'A');
  }
  const Text from = std::filesystem::path("KELVORAN.HLP").native();
  const Text to = std::filesystem::path("KELVORAN.CHM").native();
  for (auto at = text.find(from); at != Text::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

}  // namespace kelvoran
