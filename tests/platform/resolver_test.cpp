#include "platform/resolver.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvoran {
namespace {

Ipv4Address Address(const char* text) {
  in_addr address{};
  inet_pton(AF_INET, text, &address);
  return address.s_addr;
}

TEST(DottedParser, AcceptsTheClassicFormsOfAnAddress) {
  EXPECT_EQ(ParseDottedIpv4("198.18.10.1"), Address("198.18.10.1"));
  EXPECT_EQ(ParseDottedIpv4("127.1"), Address("127.0.0.1"));
  EXPECT_EQ(ParseDottedIpv4("0x7f.0.0.01"), Address("127.0.0.1"));
}

TEST(DottedParser, EverythingElseIsTheAllOnesValue) {
  for (const std::string& text :
       std::vector<std::string>{"", "server", "256.1.1.1", "1.2.3.4.5", "1.2.3.4 backup",
                                " 1.2.3.4", std::string("1.2.3.4\0x", 9)}) {
    EXPECT_EQ(ParseDottedIpv4(text), kNoAddress) << text;
  }
}

TEST(Resolver, KnowsNumbersAndTheHostsFileButNotNonsense) {
  EXPECT_EQ(ResolveIpv4("198.18.10.1"), Address("198.18.10.1"));
  EXPECT_EQ(ResolveIpv4("localhost"), Address("127.0.0.1"));
  EXPECT_FALSE(ResolveIpv4(""));
  EXPECT_FALSE(ResolveIpv4(std::string("localhost\0.example", 18)));
}

}  // namespace
}  // namespace kelvoran
