#pragma once

// What the host list and the settings dialog show of a record. Plain text
// rules, kept apart from the widgets so they are tested without a display;
// how rows sort is the list's rule (engine/host_list_rules.h).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/host_list_rules.h"

namespace kelvoran {

class HostRecord;

// The texts of cells 1 to 8 (index 0, the host name, is left empty).
std::array<std::string, kColumnCount> RowCellTexts(const HostRecord& host);

// "%5.2f" of received x 100 / sent, or "-" before the first probe.
std::string SuccessRateText(const HostRecord& host);

// The results fields of the settings dialog, top to bottom.
struct ResultsTexts {
  std::string status;
  std::string currentResponse;
  std::string minResponse;
  std::string avgResponse;
  std::string maxResponse;
  std::string sent;
  std::string received;
  std::string failed;
  std::string successRate;
  std::string error;
};
ResultsTexts DialogResultsTexts(const HostRecord& host);

}  // namespace kelvoran
