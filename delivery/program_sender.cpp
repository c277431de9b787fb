#include "delivery/program_sender.h"

#include <algorithm>
#include <chrono>

#include "alert/program_arguments.h"
#include "platform/program_runner.h"

namespace kelvoran {
namespace {

AttemptResult ResultOf(const ProgramOutcome& outcome, std::chrono::seconds limit) {
  if (!outcome.started) return {AttemptOutcome::Rejected, outcome.error};
  if (outcome.timedOut)
    return {AttemptOutcome::TimedOut,
            "still running after " + std::to_string(limit.count()) + " s; ended"};
  if (!outcome.exitStatus) return {AttemptOutcome::Failed, outcome.error};
  std::string text = "exit status " + std::to_string(*outcome.exitStatus);
  if (*outcome.exitStatus == 0) return {AttemptOutcome::Sent, text};
  // What the program said about its failure, when it said anything.
  if (!outcome.error.empty()) text += ": " + outcome.error;
  return {AttemptOutcome::Failed, text};
}

}  // namespace

AttemptResult ProgramSender::Send(const AlertChannel& channel, const AlertEvent& alert,
                                  const std::string&) {
  if (channel.program.empty()) return {AttemptOutcome::Rejected, "No program is set"};
  // The program's path is taken as written: only its arguments are
  // templates, so no host name can choose what runs.
  std::vector<std::string> command{channel.program};
  for (std::string& argument : ProgramArguments(channel.arguments, alert))
    command.push_back(std::move(argument));
  const std::chrono::seconds limit{std::max(channel.totalSeconds, std::int32_t{1})};
  return ResultOf(RunAlertProgram(command, AlertEnvironment(alert), limit), limit);
}

}  // namespace kelvoran
