// The program built without SQLite: it runs as it always did, without history.
#include "history/history_link.h"

namespace kelvoran {

std::unique_ptr<HistoryLink> OpenHistory(const std::string& /*settingsPath*/) { return nullptr; }

}  // namespace kelvoran
