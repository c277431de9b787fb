#pragma once

// What the host list and the settings dialog show of a record. Plain text
// rules, kept apart from the widgets so they are tested without a display;
// each column's text and order are defined in engine/host_columns.h.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/host_columns.h"

namespace kelvoran {

class HostRecord;

// The texts of cells 1 to 8 (index 0, the host name, is left empty).
std::array<std::string, kColumnCount> RowCellTexts(const HostRecord& host);

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
