#include "ui/main_window/row_report.h"

#include <cstdlib>
#include <fstream>

#include "engine/host_record.h"
#include "ui/main_window/host_row_text.h"
#include "ui/main_window/tessarel_view.h"

namespace kelvoran {

std::string RowReportPathFromEnvironment() {
  const char* path = std::getenv(kRowReportVariable);
  return path ? path : "";
}

bool WriteRowReport(CTessarelView& view, const std::string& path) {
  std::ofstream out(path, std::ios::trunc);
  for (int row = 0; row < view.RowCount(); ++row) {
    const HostRecord& host = view.RecordAt(row);
    out << host.Status;
    for (int column = 0; column < kColumnCount; ++column)
      out << '\t' << view.GetItemText(row, column).utf8_string();
    out << '\t' << host.ReceivedCount << '\t' << host.FailedCount << '\n';
  }
  out.close();
  return !out.fail();
}

}  // namespace kelvoran
