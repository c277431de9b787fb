#pragma once

#include <string>

namespace kelvoran {

// Plays the desktop's own alert sound (empty `file`) or the sound file, and
// waits until it has played (at most a few seconds). Returns what went wrong
// as the operator should read it, or nothing when it played. Called on the
// alert dispatcher's threads.
std::string PlayAlertSound(const std::string& file);

// Why the sound file cannot be played whatever the sound service does (it is
// missing, or not a file), or empty.
std::string SoundFileProblem(const std::string& file);

}  // namespace kelvoran
