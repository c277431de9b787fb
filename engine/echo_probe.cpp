#include "engine/echo_probe.h"

#include <cstdint>
#include <memory>
#include <new>

#include "engine/result_text.h"

namespace kelvoran {

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

namespace {

// Timeout x 1000 in 32 bits wraps from 4294968 s on, which would turn a huge
// hand-edited Timeout into a short one; it saturates instead.
std::uint32_t TimeoutMilliseconds(std::int32_t timeoutSeconds) {
  const std::uint64_t ms = static_cast<std::uint64_t>(timeoutSeconds) * 1000u;
  return ms > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(ms);
}

void RecordReply(const ProbeRequest& request, const EchoReply& reply, ProbeResult& result) {
  result.ResultCode = reply.Status;
  if (reply.Status != ResultSuccess) return;
  result.ReplyText[0] = '\0';
  result.SentSize = request.PacketSize;
  result.ReplySize = reply.DataSize;
  result.RoundTripTime = reply.RoundTripTime;
  result.Reserved = 0;
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

void Echo(const ProbeRequest& request, const EchoDestination& destination,
          const unsigned char* data, ProbeResult& result, EchoPlatform& platform) {
  EchoHandle opened = -1;
  std::int32_t error = 0;
  if (!platform.OpenEchoHandle(destination, opened, error)) {
    result.ResultCode = ResultNoEchoHandle;
    result.ResultValue = error;
    return;
  }
  const EchoHandleOwner handle(platform, opened);
  // The echo call carries a 16-bit size: only the low 16 bits reach the wire.
  const auto wireSize = static_cast<std::uint16_t>(request.PacketSize & 0xFFFFu);
  const std::uint32_t timeoutMs = TimeoutMilliseconds(request.Timeout);
  if (auto reply = platform.SendEcho(handle.Get(), destination, data, wireSize, timeoutMs)) {
    RecordReply(request, *reply, result);
  } else {
    result.ResultCode = ResultNoReply;
  }
}

void ResolveAndEcho(const ProbeRequest& request, const unsigned char* data, ProbeResult& result,
                    EchoPlatform& platform) {
  if (auto destination = FindEchoDestination(request.Host, platform)) {
    Echo(request, *destination, data, result, platform);
  } else {
    result.ResultCode = ResultResolveFailed;
  }
}

}  // namespace

std::int32_t RunEchoProbe(const ProbeRequest& request, ProbeResult& result,
                          EchoPlatform& platform) {
  result.ResultCode = ResultSuccess;
  result.ResultValue = 0;
  result.StartTime = platform.Now();

  std::unique_ptr<unsigned char[]> data;
  if (request.PacketSize <= kMaxEchoDataBytes) {
    data.reset(new (std::nothrow) unsigned char[request.PacketSize + 1u]());
  }
  if (!data) {
    result.ResultCode = ResultMemoryError;
    return result.ResultCode;
  }
  if (request.Timeout < 1) {
    result.ResultCode = ResultBadParameter;
    return result.ResultCode;
  }
  try {
    ResolveAndEcho(request, data.get(), result, platform);
  } catch (const std::bad_alloc&) {
    // The resolver and the send allocate too; the probe reports, never throws.
    result.ResultCode = ResultMemoryError;
  }
  return result.ResultCode;
}

}  // namespace kelvoran
