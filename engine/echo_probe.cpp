#include "engine/echo_probe.h"

#include <cstdint>
#include <memory>
#include <new>

#include "engine/result_text.h"

namespace kelvoran {
namespace {

// Timeout x 1000 in 32 bits wraps from 4294968 s on, which would turn a huge
// hand-edited Timeout into a short one; it saturates instead.
std::uint32_t TimeoutMilliseconds(std::int32_t timeoutSeconds) {
  const std::uint64_t ms = static_cast<std::uint64_t>(timeoutSeconds) * 1000u;
  return ms > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(ms);
}

// Closes an open echo handle however the probe ends: a std::bad_alloc out of
// the send must not leak the ICMP socket behind it, or every probe that runs
// short of memory would cost the process a descriptor.
class EchoHandleOwner {
 public:
  EchoHandleOwner(EchoPlatform& platform, EchoHandle handle)
      : platform_(platform), handle_(handle) {}
  ~EchoHandleOwner() { platform_.CloseEchoHandle(handle_); }
  EchoHandleOwner(const EchoHandleOwner&) = delete;
  EchoHandleOwner& operator=(const EchoHandleOwner&) = delete;

  EchoHandle Get() const { return handle_; }

 private:
  EchoPlatform& platform_;
  EchoHandle handle_;
};

void Echo(const ProbeRequest& request, const PreparedEcho& echo, ProbeResult& result,
          EchoPlatform& platform) {
  EchoHandle opened = -1;
  std::int32_t error = 0;
  if (!platform.OpenEchoHandle(echo.Destination, opened, error)) {
    RecordNoEchoHandle(error, result);
    return;
  }
  const EchoHandleOwner handle(platform, opened);
  RecordEchoOutcome(request,
                    platform.SendEcho(handle.Get(), echo.Destination, echo.Data.get(),
                                      echo.WireSize, echo.TimeoutMs),
                    result);
}

}  // namespace

std::optional<EchoDestination> FindEchoDestination(const std::string& host,
                                                   EchoPlatform& platform) {
  // The resolver is asked first even for dotted text: a hosts file may map it.
  if (auto byName = platform.ResolveByName(host)) return *byName;
  const Ipv4Address dotted = platform.ParseDotted(host);
  if (dotted != kNoAddress) return dotted;
  // IPv6 only where IPv4 has nothing, so a name with both keeps its IPv4 host.
  if (auto ipv6 = platform.ResolveIpv6(host)) return *ipv6;
  return std::nullopt;
}

std::optional<PreparedEcho> PrepareEcho(const ProbeRequest& request, ProbeResult& result,
                                        EchoPlatform& platform) {
  result.ResultCode = ResultSuccess;
  result.ResultValue = 0;
  result.StartTime = platform.Now();

  PreparedEcho echo;
  if (request.PacketSize <= kMaxEchoDataBytes) {
    echo.Data.reset(new (std::nothrow) unsigned char[request.PacketSize + 1u]());
  }
  if (!echo.Data) {
    result.ResultCode = ResultMemoryError;
    return std::nullopt;
  }
  if (request.Timeout < 1) {
    result.ResultCode = ResultBadParameter;
    return std::nullopt;
  }
  try {
    auto destination = FindEchoDestination(request.Host, platform);
    if (!destination) {
      result.ResultCode = ResultResolveFailed;
      return std::nullopt;
    }
    echo.Destination = *destination;
  } catch (const std::bad_alloc&) {
    // The resolver allocates too; the probe reports, never throws.
    result.ResultCode = ResultMemoryError;
    return std::nullopt;
  }
  // The echo call carries a 16-bit size: only the low 16 bits reach the wire.
  echo.WireSize = static_cast<std::uint16_t>(request.PacketSize & 0xFFFFu);
  echo.TimeoutMs = TimeoutMilliseconds(request.Timeout);
  return echo;
}

void RecordNoEchoHandle(std::int32_t error, ProbeResult& result) {
  result.ResultCode = ResultNoEchoHandle;
  result.ResultValue = error;
}

void RecordEchoOutcome(const ProbeRequest& request, const std::optional<EchoReply>& reply,
                       ProbeResult& result) {
  if (!reply) {
    result.ResultCode = ResultNoReply;
    return;
  }
  result.ResultCode = reply->Status;
  if (reply->Status != ResultSuccess) return;
  result.ReplyText[0] = '\0';
  result.SentSize = request.PacketSize;
  result.ReplySize = reply->DataSize;
  result.RoundTripTime = reply->RoundTripTime;
  result.Reserved = 0;
}

std::int32_t RunEchoProbe(const ProbeRequest& request, ProbeResult& result,
                          EchoPlatform& platform) {
  const auto echo = PrepareEcho(request, result, platform);
  if (!echo) return result.ResultCode;
  try {
    Echo(request, *echo, result, platform);
  } catch (const std::bad_alloc&) {
    // The send allocates too; the probe reports, never throws.
    result.ResultCode = ResultMemoryError;
  }
  return result.ResultCode;
}

}  // namespace kelvoran
