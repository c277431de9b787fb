#include "platform/windows/windows_echo_service.h"

// In this order: winsock2.h before windows.h, icmpapi.h after iphlpapi.h; the
// completion routine's type comes with winternl.h.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <winternl.h>
#define PIO_APC_ROUTINE_DEFINED  // icmpapi.h then declares the routine's real type
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on

#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "engine/echo_probe.h"
#include "engine/result_mailbox.h"
#include "engine/result_text.h"
#include "platform/windows/icmp_replies.h"
#include "platform/windows/windows_echo_probe.h"

namespace kelvoran {

struct WindowsEchoService::Request {
  WindowsEchoService* Service = nullptr;
  ProbeJobPtr Job;
  PreparedEcho Echo;
  bool Ipv6 = false;
  std::vector<unsigned char> Replies;
};

namespace {

bool IsWholeText(const std::string& host) { return host.find('\0') == std::string::npos; }

bool IsIpv6Literal(const std::string& host) {
  in6_addr address{};
  return IsWholeText(host) &&
         inet_pton(AF_INET6, host.substr(0, host.find('%')).c_str(), &address) == 1;
}

// Texts read as an address without asking the hosts file or a name server,
// so preparing them never waits.
bool IsAddressText(const std::string& host) {
  in_addr address{};
  return (IsWholeText(host) && inet_pton(AF_INET, host.c_str(), &address) == 1) ||
         IsIpv6Literal(host);
}

// The probe's platform on the service's thread: gethostbyname would send an
// IPv6 literal to the name servers as a name; no IPv4 host is named that.
class ServiceEchoPlatform : public WindowsEchoPlatform {
 public:
  std::optional<Ipv4Address> ResolveByName(const std::string& host) override {
    if (IsIpv6Literal(host)) return std::nullopt;
    return WindowsEchoPlatform::ResolveByName(host);
  }
};

// Runs on the service's thread, in its alertable wait, once the request's
// reply or time-out has come.
void NTAPI RequestCompleted(void* context, IO_STATUS_BLOCK* /*status*/, ULONG /*reserved*/) {
  std::unique_ptr<WindowsEchoService::Request> request(
      static_cast<WindowsEchoService::Request*>(context));
  WindowsEchoService* service = request->Service;
  service->Complete(std::move(request));
}

// Sends the request; false, with the reason in GetLastError, when it did not
// go (ERROR_IO_PENDING is the asynchronous call's success).
bool SendRequest(HANDLE icmp, WindowsEchoService::Request& request) {
  const PreparedEcho& echo = request.Echo;
  auto* replies = request.Replies.data();
  const auto replySize = static_cast<DWORD>(request.Replies.size());
  DWORD sent = 0;
  if (const auto* ipv6 = std::get_if<Ipv6Address>(&echo.Destination)) {
    sockaddr_in6 source = SocketAddressOf(Ipv6Address{});  // unspecified: the stack picks one
    sockaddr_in6 to = SocketAddressOf(*ipv6);
    sent = Icmp6SendEcho2(icmp, nullptr, RequestCompleted, &request, &source, &to, echo.Data.get(),
                          echo.WireSize, nullptr, replies, replySize, echo.TimeoutMs);
  } else {
    sent = IcmpSendEcho2(icmp, nullptr, RequestCompleted, &request,
                         std::get<Ipv4Address>(echo.Destination), echo.Data.get(), echo.WireSize,
                         nullptr, replies, replySize, echo.TimeoutMs);
  }
  return sent != 0 || GetLastError() == ERROR_IO_PENDING;
}

}  // namespace

WindowsEchoService::WindowsEchoService(ResultMailbox& mailbox) : mailbox_(mailbox) {}

WindowsEchoService::~WindowsEchoService() {
  if (thread_.joinable()) {
    {
      const std::lock_guard<std::mutex> hold(lock_);
      closing_ = true;
    }
    SetEvent(wake_);
    thread_.join();
  }
  for (void* icmp : icmp_)
    if (icmp) IcmpCloseHandle(icmp);
  if (wake_) CloseHandle(wake_);
}

bool WindowsEchoService::Open() {
  wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!wake_) return false;
  try {
    thread_ = std::thread([this] { Run(); });
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

bool WindowsEchoService::Take(ProbeJobPtr& job) {
  if (!IsAddressText(job->Request.Host)) return false;
  const std::lock_guard<std::mutex> hold(lock_);
  handedOver_.push_back(std::move(job));
  return true;
}

void WindowsEchoService::Wake() { SetEvent(wake_); }

void WindowsEchoService::Run() {
  for (;;) {
    std::vector<ProbeJobPtr> jobs;
    bool closing = false;
    {
      const std::lock_guard<std::mutex> hold(lock_);
      jobs.swap(handedOver_);
      closing = closing_;
    }
    if (!closing)
      for (ProbeJobPtr& job : jobs) Start(std::move(job));
    if (closing && inFlight_ == 0) return;
    // Alertable: the completion routines of the requests run in this wait.
    WaitForSingleObjectEx(wake_, INFINITE, TRUE);
  }
}

void WindowsEchoService::Start(ProbeJobPtr job) {
  try {
    ServiceEchoPlatform platform;
    auto echo = PrepareEcho(job->Request, job->Result, platform);
    if (!echo) return Finish(std::move(job));
    const bool ipv6 = IsIpv6(echo->Destination);
    HANDLE icmp = HandleFor(ipv6, job->Result);
    if (!icmp) return Finish(std::move(job));
    auto request = std::make_unique<Request>();
    request->Service = this;
    request->Ipv6 = ipv6;
    request->Replies.resize(ReplyBufferSize(echo->WireSize));
    request->Echo = std::move(*echo);
    request->Job = std::move(job);
    if (!SendRequest(icmp, *request)) {
      const DWORD error = GetLastError();
      RecordEchoOutcome(request->Job->Request,
                        ReplyWithoutRecord(ipv6 ? Ipv4Meaning(error) : error),
                        request->Job->Result);
      return Finish(std::move(request->Job));
    }
    // Windows holds the request until its routine runs.
    request.release();
    ++inFlight_;
  } catch (const std::bad_alloc&) {
    // Every allocation comes before the job moves into its request.
    job->Result.ResultCode = ResultMemoryError;
    Finish(std::move(job));
  }
}

void* WindowsEchoService::HandleFor(bool ipv6, ProbeResult& result) {
  void*& icmp = icmp_[ipv6 ? 1 : 0];
  if (icmp) return icmp;
  const HANDLE opened = ipv6 ? Icmp6CreateFile() : IcmpCreateFile();
  if (opened == INVALID_HANDLE_VALUE) {
    // As a probe on its own thread would, the next probe tries again.
    RecordNoEchoHandle(static_cast<std::int32_t>(GetLastError()), result);
    return nullptr;
  }
  icmp = opened;
  return icmp;
}

void WindowsEchoService::Complete(std::unique_ptr<Request> request) {
  --inFlight_;
  auto* replies = request->Replies.data();
  const auto size = static_cast<DWORD>(request->Replies.size());
  const DWORD records =
      request->Ipv6 ? Icmp6ParseReplies(replies, size) : IcmpParseReplies(replies, size);
  std::optional<EchoReply> reply;
  if (records == 0) {
    const DWORD error = GetLastError();
    reply = ReplyWithoutRecord(request->Ipv6 ? Ipv4Meaning(error) : error);
  } else {
    reply = FirstEchoReply(replies, request->Ipv6, request->Echo.WireSize);
  }
  RecordEchoOutcome(request->Job->Request, reply, request->Job->Result);
  Finish(std::move(request->Job));
}

void WindowsEchoService::Finish(ProbeJobPtr job) { mailbox_.Put(std::move(job)); }

EchoServiceMaker WindowsEchoServiceMaker() {
  return [](ResultMailbox& mailbox) -> std::unique_ptr<EchoService> {
    auto service = std::make_unique<WindowsEchoService>(mailbox);
    if (!service->Open()) return nullptr;
    return service;
  };
}

}  // namespace kelvoran
