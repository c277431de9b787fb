#include "engine/result_text.h"

#include <gtest/gtest.h>

#include "engine/host_record.h"

namespace kelvoran {
namespace {

TEST(ResultText, SuccessIsEmptyWhateverTheValue) {
  EXPECT_EQ(ResultText(0, 0), "");
  EXPECT_EQ(ResultText(0, 10060), "");
  EXPECT_EQ(ResultText(0, -1), "");
}

TEST(ResultText, FixedTexts) {
  EXPECT_EQ(ResultText(100, 0), "Bad parameter(s) specification.");
  EXPECT_EQ(ResultText(230, 0), "Error resolving host address.");
  EXPECT_EQ(ResultText(240, 0), "Memory error.");
  EXPECT_EQ(ResultText(280, 0), "Bad response packet (too few bytes).");
  EXPECT_EQ(ResultText(290, 0), "Bad response packet (non echo type).");
  EXPECT_EQ(ResultText(300, 0), "Bad response packet (other packet).");
  EXPECT_EQ(ResultText(600, 13), "Internal error creating icmp handle.");
  EXPECT_EQ(ResultText(11001, 0), "Buffer too small.");
  EXPECT_EQ(ResultText(11002, 0), "Destination net unreachable.");
  EXPECT_EQ(ResultText(11003, 0), "Destination host unreachable.");
  EXPECT_EQ(ResultText(11004, 0), "Destination protocol unreachable.");
  EXPECT_EQ(ResultText(11005, 0), "Destination port unreachable.");
  EXPECT_EQ(ResultText(11006, 0), "No resources.");
  EXPECT_EQ(ResultText(11007, 0), "Bad option.");
  EXPECT_EQ(ResultText(11008, 0), "HW error.");
  EXPECT_EQ(ResultText(11009, 0), "Packet too big.");
  EXPECT_EQ(ResultText(11011, 0), "Bad request.");
  EXPECT_EQ(ResultText(11012, 0), "Bad route.");
  EXPECT_EQ(ResultText(11013, 0), "TTL expired transit.");
  EXPECT_EQ(ResultText(11014, 0), "TTL expired reassem.");
  EXPECT_EQ(ResultText(11015, 0), "Parameter problem.");
  EXPECT_EQ(ResultText(11016, 0), "Source quench.");
  EXPECT_EQ(ResultText(11017, 0), "Option too big.");
  EXPECT_EQ(ResultText(11018, 0), "Bad destination.");
}

TEST(ResultText, BothTimeOutCodesShareOneText) {
  EXPECT_EQ(ResultText(610, 0), "Request timed out.");
  EXPECT_EQ(ResultText(11010, 0), "Request timed out.");
}

TEST(ResultText, PopupFailureIgnoresTheValue) {
  EXPECT_EQ(ResultText(13000, 1400), "Error sending popup message.");
  EXPECT_EQ(ResultText(13000, -1), "Error sending popup message.");
}

TEST(ResultText, SocketCodesHaveTextOnlyForConnectionTimeOut) {
  for (std::int32_t code : {200, 210, 220, 250, 260, 270}) {
    EXPECT_EQ(ResultText(code, 10060), "Host unreachable") << code;
    EXPECT_EQ(ResultText(code, 0), "") << code;
    EXPECT_EQ(ResultText(code, 10061), "") << code;
  }
}

TEST(ResultText, CodesOutsideTheTableAreFormatted) {
  EXPECT_EQ(ResultText(1, 0), "Code 1, Value 0");
  EXPECT_EQ(ResultText(-1, 5), "Code -1, Value 5");
  EXPECT_EQ(ResultText(99, -7), "Code 99, Value -7");
  EXPECT_EQ(ResultText(11019, 0), "Code 11019, Value 0");
  EXPECT_EQ(ResultText(11000, 0), "Code 11000, Value 0");
  EXPECT_EQ(ResultText(INT32_MIN, INT32_MAX), "Code -2147483648, Value 2147483647");
}

TEST(ResultText, RecordUsesItsOwnPair) {
  HostRecord host;
  host.ResultCode = 13000;
  host.ResultValue = 1722;
  EXPECT_EQ(host.ResultText(), "Error sending popup message.");
  host.ResultCode = 7;
  EXPECT_EQ(host.ResultText(), "Code 7, Value 1722");
}

}  // namespace
}  // namespace kelvoran
