#pragma once

#include <chrono>
#include <string>

namespace kelvoran {

// How long a sound may take before the wait for it is given up.
inline constexpr std::chrono::seconds kLongestAlertSound{10};

// What each platform's sound service does for PlayAlertSound (alert_sound.cpp
// has checked the file first). Each returns the error, or empty when played.
std::string PlayDesktopAlertSound();
std::string PlaySoundFile(const std::string& file);

}  // namespace kelvoran
