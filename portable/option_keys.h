#pragma once

namespace kelvoran {

// The program-wide options of the user's profile, in a group of their own
// beside "MainWnd": read by the window's Options dialog and by the headless
// monitor. Profiles written before an option lack its key and keep the
// option's default.
inline constexpr const char* kProbesPerSecondKey = "Options/ProbesPerSecond";
inline constexpr const char* kHistoryMegabytesKey = "Options/HistoryMegabytes";
// The window's metrics endpoint's port on 127.0.0.1; 0 (the default) serves none.
inline constexpr const char* kMetricsPortKey = "Options/MetricsPort";

}  // namespace kelvoran
