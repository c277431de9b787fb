// The platform side of popup delivery that every platform shares: which
// names mean this machine, and the messenger library seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <memory>
#include <string>
#include <tuple>

#include "platform/local_names.h"
#include "platform/messenger_library.h"

namespace kelvoran {
namespace {

NameCheck ScriptedCheck(std::optional<AddressList> answer) {
  NameCheck check;
  check.hostName = [] { return std::optional<std::string>("Desk.example.org"); };
  check.lookup = [answer](const std::string&) { return answer; };
  check.ownAddresses = [] { return AddressList{"192.0.2.7", "2001:db8::7"}; };
  return check;
}

// The host name in any case and form, or a name resolving to an own address,
// loopback included.
TEST(NamesThisMachine, HostNameOrNamesResolvingToOwnAddresses) {
  const std::tuple<const char*, std::optional<AddressList>, bool> cases[] = {
      {"desk", std::nullopt, true},
      {"DESK.EXAMPLE.ORG", std::nullopt, true},
      {"desk2", std::nullopt, false},
      {" desk", std::nullopt, false},  // a blank is part of the name
      {"", std::nullopt, false},
      {"alias", AddressList{"2001:db8::7"}, true},
      {"lo", AddressList{"127.0.1.1"}, true},
      {"lo6", AddressList{"::1"}, true},
      {"mixed", AddressList{"198.51.100.1", "192.0.2.7"}, true},
      {"other", AddressList{"198.51.100.1"}, false}};
  for (const auto& [name, answer, expected] : cases)
    EXPECT_EQ(NamesThisMachine(name, ScriptedCheck(answer)), expected) << name;
}

// A resolver that hangs must not hold the caller: the check gives up after
// its bound and says no. The hanging lookup is released afterwards so that
// its thread ends.
TEST(NamesThisMachine, GivesUpOnAHangingResolver) {
  auto release = std::make_shared<std::promise<void>>();
  std::shared_future<void> released = release->get_future().share();
  NameCheck check = ScriptedCheck(std::nullopt);
  check.bound = std::chrono::milliseconds(20);
  check.lookup = [released](const std::string&) -> std::optional<AddressList> {
    released.wait();
    return AddressList{"127.0.0.1"};
  };
  EXPECT_FALSE(NamesThisMachine("slow", check));
  release->set_value();
}

TEST(NamesThisMachine, RealResolverKnowsLocalhostAndTheHostName) {
  EXPECT_TRUE(NamesThisMachine("localhost"));
  EXPECT_TRUE(NamesThisMachine("LOCALHOST"));
  const std::optional<std::string> name = ShortHostName();
  ASSERT_TRUE(name);
  EXPECT_TRUE(NamesThisMachine(*name));
  EXPECT_EQ(name->find('.'), std::string::npos);
}

// The loopback interface is listed with the others, as the loopback rule of
// IsOwnAddress assumes.
TEST(OwnAddresses, IncludeTheLoopbackInterface) {
  const AddressList own = OwnAddresses();
  EXPECT_TRUE(std::ranges::count(own, "127.0.0.1") + std::ranges::count(own, "::1") > 0);
}

TEST(FindMessenger, FindsNoneInAMissingLibraryAndCallsTheEntryPointOfOneThatHasIt) {
  const MessengerEntry none = FindMessenger("kelvoran-no-such-messenger.dll");
  EXPECT_EQ(none.library, nullptr);
  EXPECT_FALSE(none.send);

  const MessengerEntry entry = FindMessenger(KELVORAN_FAKE_MESSENGER);
  ASSERT_TRUE(entry.send);
  const std::u16string text = u"down";
  const auto* buffer = reinterpret_cast<const std::uint8_t*>(text.c_str());
  EXPECT_EQ(entry.send(nullptr, u"ops", nullptr, buffer, 10), 0u);
  EXPECT_EQ(entry.send(nullptr, u"desk", nullptr, buffer, 10), 10u);
}

}  // namespace
}  // namespace kelvoran
