// The desktop's secret store for real: on Linux a GNOME Keyring started by
// tests/platform/with-secret-service on a private session bus (or a bus with
// no Secret Service at all), under Wine its Credential Manager.
#include <gtest/gtest.h>

#include "platform/secret_store.h"

namespace kelvoran {
namespace {

TEST(DesktopSecretStore, RoundTrip) {
  std::string why;
  const std::unique_ptr<SecretStore> store = OpenDesktopSecretStore(why);
  ASSERT_NE(store, nullptr) << why;
  const std::string channel = "kelvoran test \xc3\xa9 channel";
  const std::string secret = "p\xc3\xa4ss word = \"x\"";
  std::string error;
  store->Erase(channel);
  EXPECT_EQ(store->Read(channel), std::nullopt);
  ASSERT_TRUE(store->Write(channel, secret, error)) << error;
  EXPECT_EQ(store->Read(channel), secret);
  ASSERT_TRUE(store->Write(channel, "replaced", error)) << error;
  EXPECT_EQ(store->Read(channel), "replaced");
  // Another channel's secret is its own.
  ASSERT_TRUE(store->Write(channel + "2", "other", error)) << error;
  EXPECT_EQ(store->Read(channel), "replaced");
  store->Erase(channel);
  EXPECT_EQ(store->Read(channel), std::nullopt);
  EXPECT_EQ(store->Read(channel + "2"), "other");
  store->Erase(channel + "2");
}

#ifndef _WIN32
TEST(DesktopSecretStore, NoServiceGivesNullAndWhy) {
  std::string why;
  EXPECT_EQ(OpenDesktopSecretStore(why), nullptr);
  EXPECT_NE(why.find("No desktop secret store"), std::string::npos) << why;
}
#endif

}  // namespace
}  // namespace kelvoran
