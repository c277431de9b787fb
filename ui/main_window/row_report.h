#pragma once

#include <string>

namespace kelvoran {

class CTessarelView;

// Test seam, not a log: when the environment variable below names a file at
// start-up, the program writes the host list there as the window closes, one
// line per row: the status number, every cell as shown, then the received
// and failed counts, which no cell shows exactly, all tab-separated.
// End-to-end tests read it after sending SIGTERM; the program writes nothing
// when the variable is unset.
inline constexpr const char* kRowReportVariable = "KELVORAN_ROW_REPORT";

// The file named by the variable, or an empty text.
std::string RowReportPathFromEnvironment();

// Writes the rows; returns false when the file could not be written.
bool WriteRowReport(CTessarelView& view, const std::string& path);

}  // namespace kelvoran
