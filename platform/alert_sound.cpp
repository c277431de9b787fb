#include "platform/alert_sound.h"

#include <filesystem>
#include <system_error>

#include "platform/system_sound.h"

namespace kelvoran {

// A missing file is said in the same words on every system, before a sound
// service answers in its own (or not at all, when there is no sound device).
std::string SoundFileProblem(const std::string& file) {
  std::error_code error;
  const auto status = std::filesystem::status(std::filesystem::u8path(file), error);
  std::string problem = error                                       ? error.message()
                        : !std::filesystem::is_regular_file(status) ? "not a regular file"
                                                                    : std::string();
  return problem.empty() ? problem : "Cannot play \"" + file + "\": " + problem;
}

std::string PlayAlertSound(const std::string& file) {
  if (file.empty()) return PlayDesktopAlertSound();
  if (std::string problem = SoundFileProblem(file); !problem.empty()) return problem;
  return PlaySoundFile(file);
}

}  // namespace kelvoran
