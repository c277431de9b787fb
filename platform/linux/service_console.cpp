#include "platform/service_console.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace kelvoran {
namespace {

// The self-pipe: the handler only writes a byte, which async-signal safety
// allows; the main loop polls the other end. Handlers, unlike a blocked
// signal mask, are not passed on to the programs that alert channels run.
std::array<int, 2> requestPipe = {-1, -1};

constexpr char kStopByte = 'S';
constexpr char kReloadByte = 'R';

void OnSignal(int signal) {
  const int savedErrno = errno;
  const char byte = signal == SIGHUP ? kReloadByte : kStopByte;
  // A full pipe already holds requests enough: the byte may be dropped.
  [[maybe_unused]] const auto written = write(requestPipe[1], &byte, 1);
  errno = savedErrno;
}

}  // namespace

const char* ServiceRequestsHelp() {
  return "SIGTERM or SIGINT (Ctrl+C) ends it as Host > Exit does: probes under way are\n"
         "waited for and the history is written out. SIGHUP reads the host list again:\n"
         "hosts added are probed, hosts removed are dropped, the others keep their\n"
         "results.";
}

void ListenForServiceRequests() {
  if (pipe2(requestPipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

ServiceRequest WaitForServiceRequest(std::chrono::milliseconds timeout) {
  if (requestPipe[0] < 0) {
    usleep(static_cast<useconds_t>(timeout.count()) * 1000);
    return ServiceRequest::None;
  }
  pollfd readable{requestPipe[0], POLLIN, 0};
  if (poll(&readable, 1, static_cast<int>(timeout.count())) <= 0) return ServiceRequest::None;
  ServiceRequest request = ServiceRequest::None;
  std::array<char, 64> bytes{};
  for (ssize_t count; (count = read(requestPipe[0], bytes.data(), bytes.size())) > 0;)
    for (ssize_t at = 0; at < count; ++at)
      if (bytes[static_cast<std::size_t>(at)] == kStopByte)
        request = ServiceRequest::Stop;
      else if (request == ServiceRequest::None)
        request = ServiceRequest::Reload;
  return request;
}

void UseParentConsole() {}

bool ServiceManagerNeedsEntry() { return false; }

// systemd starts the plain program (kelvoran-headless.service): nothing to
// answer, so the command line refuses --service before it gets here.
int RunAsSystemService(const std::string&, const std::function<int()>& monitor) {
  return monitor();
}

}  // namespace kelvoran
