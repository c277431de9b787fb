#include "platform/messenger_library.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvoran {
namespace {

TEST(FindMessenger, CallsTheEntryPointOfALibraryThatHasIt) {
  const MessengerEntry entry = FindMessenger(KELVORAN_FAKE_MESSENGER);
  ASSERT_TRUE(entry.send);
  const std::u16string text = u"down";
  const auto* buffer = reinterpret_cast<const std::uint8_t*>(text.c_str());
  EXPECT_EQ(entry.send(nullptr, u"ops", nullptr, buffer, 10), 0u);
  EXPECT_EQ(entry.send(nullptr, u"desk", nullptr, buffer, 10), 10u);
}

}  // namespace
}  // namespace kelvoran
