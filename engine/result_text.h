#pragma once

#include <cstdint>
#include <string>

namespace kelvoran {

// Result codes of probes and popup deliveries; ResultValue carries the detail.
enum ResultCodes : std::int32_t {
  ResultSuccess = 0,
  ResultBadParameter = 100,
  ResultResolveFailed = 230,
  ResultMemoryError = 240,
  ResultNoEchoHandle = 600,
  ResultNoReply = 610,
  // 11001 to 11018 and above: IP status values of the echo reply.
  IpBufTooSmall = 11001,
  IpDestNetUnreachable = 11002,
  IpDestHostUnreachable = 11003,
  IpDestProtUnreachable = 11004,
  IpDestPortUnreachable = 11005,
  IpNoResources = 11006,
  IpBadOption = 11007,
  IpHwError = 11008,
  IpPacketTooBig = 11009,
  IpRequestTimedOut = 11010,
  IpBadRequest = 11011,
  IpBadRoute = 11012,
  IpTtlExpiredTransit = 11013,
  IpTtlExpiredReassem = 11014,
  IpParamProblem = 11015,
  IpSourceQuench = 11016,
  IpOptionTooBig = 11017,
  IpBadDestination = 11018,
  ResultPopupFailed = 13000,
};

// The text an operator reads for a result code and its detail value.
std::string ResultText(std::int32_t code, std::int32_t value);

// What a host held behind a down host says instead of its probe's error.
std::string UnreachableText(const std::string& downHost);

}  // namespace kelvoran
