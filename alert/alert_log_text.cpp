#include "alert/alert_log_text.h"

namespace kelvoran {
namespace {

const char* OutcomeText(const AlertLogEntry& entry) {
  switch (entry.outcome) {
    case AttemptOutcome::Sent:
      return "sent";
    case AttemptOutcome::Failed:
      return "failed";
    case AttemptOutcome::TimedOut:
      return "timed out";
    case AttemptOutcome::Rejected:
      return "refused";
    case AttemptOutcome::Held:
      return "held";
  }
  return "";
}

}  // namespace

std::vector<std::string> AlertAttemptColumns(const AlertLogEntry& entry, const MomentText& local) {
  std::string details = entry.text;
  if (entry.retryAt) details += "; next try at " + local(*entry.retryAt);
  if (entry.givenUp) details += "; given up";
  if (entry.late) details += " (raised before Kelvoran last closed)";
  return {local(entry.at),           entry.host,         entry.channel,
          AlertKindText(entry.kind), OutcomeText(entry), details};
}

}  // namespace kelvoran
