// Resolves names that do not exist. The process first moves into a network
// namespace of its own, where only a loopback interface exists, so the
// resolver's queries cannot leave the machine.
#include <gtest/gtest.h>
#include <sched.h>

#include "platform/linux/desktop_terminal_services.h"
#include "platform/local_names.h"

namespace kelvoran {
namespace {

bool isolated = false;

TEST(UnknownName, IsNotThisMachineAndCannotBeOpened) {
  if (!isolated) GTEST_SKIP() << "unshare(CLONE_NEWNET) needs root";
  EXPECT_FALSE(LookUpAddresses("no-such-host.invalid"));
  EXPECT_FALSE(NamesThisMachine("no-such-host.invalid"));
  DesktopTerminalServices services;
  ServerHandle server = ServerHandle::Current;
  EXPECT_EQ(services.OpenServer("no-such-host.invalid", server), ErrorServerUnavailable);
  EXPECT_EQ(services.OpenServer("NO-SUCH-HOST", server), ErrorServerUnavailable);
  EXPECT_EQ(services.OpenConnections(), 0u);
}

}  // namespace
}  // namespace kelvoran

int main(int argc, char** argv) {
  // Before any thread starts: a namespace change applies to the calling
  // thread and to the threads it creates afterwards.
  kelvoran::isolated = unshare(CLONE_NEWNET) == 0;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
