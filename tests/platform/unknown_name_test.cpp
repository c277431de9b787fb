// Resolves names that do not exist, with a name server that never answers.
// The process first moves into a network namespace and a mount namespace of
// its own: only loopback and one link whose far end is down exist, and the
// resolver's configuration names a server routed into that link, so queries
// vanish there and never leave the machine.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <cstdlib>
#include <fstream>

#include "notify/popup_delivery.h"
#include "platform/linux/desktop_terminal_services.h"
#include "platform/local_names.h"

namespace kelvoran {
namespace {

bool isolated = false;

TEST(UnknownName, IsNotThisMachineAndCannotBeOpened) {
  if (!isolated) GTEST_SKIP() << "the namespaces need root";
  EXPECT_FALSE(LookUpAddresses("no-such-host.invalid"));
  EXPECT_FALSE(NamesThisMachine("no-such-host.invalid"));
  DesktopTerminalServices services;
  ServerHandle server = ServerHandle::Current;
  EXPECT_EQ(services.OpenServer("no-such-host.invalid", server), ErrorServerUnavailable);
  EXPECT_EQ(services.OpenServer("NO-SUCH-HOST", server), ErrorServerUnavailable);
  EXPECT_EQ(services.OpenConnections(), 0u);
}

// Twenty hosts going down with the same destination while the name server
// is silent: one lookup (one stall of the window), not twenty.
TEST(UnknownName, SilentNameServerIsAskedOnceForManyPopups) {
  if (!isolated) GTEST_SKIP() << "the namespaces need root";
  int lookups = 0;
  DesktopTerminalServices services({ProgramHasDisplay, ShortHostName, [&](const std::string& name) {
                                      ++lookups;
                                      return NamesThisMachine(name);
                                    }});
  for (int host = 0; host < 20; ++host) {
    EXPECT_EQ(SendConsoleMessage(services, host % 2 ? "ops-desk" : "OPS-DESK",
                                 "Kelvoran Notification", "down"),
              ErrorServerUnavailable);
  }
  EXPECT_EQ(lookups, 1);
}

// A private resolver configuration over the machine's, and the link that
// swallows its server's queries: ARP off, so nothing waits for a neighbour,
// and the far end down, so nothing is delivered.
bool IsolateWithSilentNameServer() {
  if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) return false;
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  char conf[] = "/tmp/kelvoran-resolv-XXXXXX";
  const int fd = mkstemp(conf);
  if (fd < 0) return false;
  close(fd);
  std::ofstream(conf) << "nameserver 198.18.53.1\noptions timeout:1 attempts:1\n";
  const bool mounted = mount(conf, "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0;
  unlink(conf);
  return mounted && std::system(
                        "ip link set lo up && "
                        "ip link add kvdns0 type veth peer name kvdns1 && "
                        "ip link set kvdns0 arp off up && "
                        "ip route add 198.18.53.0/24 dev kvdns0") == 0;
}

}  // namespace
}  // namespace kelvoran

int main(int argc, char** argv) {
  // Before any thread starts: a namespace change applies to the calling
  // thread and to the threads it creates afterwards.
  kelvoran::isolated = kelvoran::IsolateWithSilentNameServer();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
