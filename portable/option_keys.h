#pragma once

namespace kelvoran {

// The program-wide options of the user's profile, in a group of their own
// beside "MainWnd": read by the window's Options dialog and by the headless
// monitor. Profiles written before an option lack its key and keep the
// option's default.
inline constexpr const char* kProbesPerSecondKey = "Options/ProbesPerSecond";
inline constexpr const char* kHistoryMegabytesKey = "Options/HistoryMegabytes";
// Whether each host's route is recorded by itself (hourly while OK and when
// it goes down); 1, the default, or 0. "Trace route" works either way.
inline constexpr const char* kRecordRoutesKey = "Options/RecordRoutes";
// The window's metrics endpoint's port on 127.0.0.1; 0 (the default) serves none.
inline constexpr const char* kMetricsPortKey = "Options/MetricsPort";
// Its basic auth and TLS, written only when set: the user name, the bcrypt
// hash of the password (never the password), the PEM certificate and key.
inline constexpr const char* kMetricsUserKey = "Options/MetricsUser";
inline constexpr const char* kMetricsPasswordHashKey = "Options/MetricsPasswordHash";
inline constexpr const char* kMetricsTlsCertificateKey = "Options/MetricsTlsCertificate";
inline constexpr const char* kMetricsTlsKeyKey = "Options/MetricsTlsKey";

}  // namespace kelvoran
