// The Windows side of popup delivery that Wine provides: the ANSI code page
// of the 8-bit texts, the terminal services' own checks, and the window
// station. Wine's terminal services list no sessions, refuse to open other
// servers and do not send, so delivery through them is tested with fakes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/local_names.h"
#include "platform/messenger_library.h"
#include "platform/program_display.h"
#include "platform/windows/wine_host.h"
#include "platform/windows/wts_terminal_services.h"
#include "portable/ansi_text.h"
#include "portable/text_compare.h"

namespace kelvoran {
namespace {

// Code page 1252, Wine's for an English or C locale: 0x80 is its euro sign,
// which neither UTF-8 nor Latin-1 reads that way, and the bytes of a UTF-8
// sequence are two characters.
TEST(ToWide, ReadsTheAnsiCodePageAndEveryByteComesBack) {
  if (GetACP() != 1252) GTEST_SKIP() << "code page " << GetACP();
  EXPECT_EQ(ToWide(""), u"");
  EXPECT_EQ(ToWide("caf\xE9 \x80 \xC3\xBC"), u"caf\u00E9 \u20AC \u00C3\u00BC");
  EXPECT_EQ(ToDisplayText("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
  std::string everyByte;
  for (int byte = 1; byte < 256; ++byte) everyByte += static_cast<char>(byte);
  const std::u16string wide = ToWide(everyByte);
  const std::wstring asWide(wide.begin(), wide.end());
  char back[256] = {};
  WideCharToMultiByte(CP_ACP, 0, asWide.c_str(), -1, back, sizeof back, nullptr, nullptr);
  EXPECT_EQ(back, everyByte);
  wchar_t shown[256] = {};
  EXPECT_GT(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, ToDisplayText(everyByte).c_str(), -1,
                                shown, 256),
            0);
  EXPECT_EQ(shown, asWide) << "the same characters, as well-formed UTF-8";
}

// GetComputerNameA gives the NetBIOS name: the host name in capitals, cut to
// fifteen characters.
TEST(WtsTerminalServices, ComputerNameIsTheNetBiosName) {
  WtsTerminalServices services;
  const std::optional<std::string> name = services.ComputerName();
  const std::optional<std::string> host = ShortHostName();
  ASSERT_TRUE(name && host);
  EXPECT_TRUE(EqualIgnoringCase(*name, host->substr(0, 15))) << *name << " / " << *host;
}

// A handle the services did not open never reaches the system as a server.
TEST(WtsTerminalServices, RefusesAHandleItDidNotOpen) {
  WtsTerminalServices services;
  const auto unknown = static_cast<ServerHandle>(7);
  std::vector<SessionInfo> sessions;
  EXPECT_EQ(services.EnumerateSessions(unknown, sessions), ErrorInvalidHandle);
  EXPECT_EQ(services.SendSessionMessage(unknown, 1, "T", 2, "M", 2), ErrorInvalidHandle);
  services.CloseServer(unknown);
  EXPECT_EQ(services.EnumerateSessions(ServerHandle::Current, sessions), 0);
}

// A session that does not exist gets nothing, and the failure is reported
// even where the system gives no reason (Wine's WTSSendMessage).
TEST(WtsTerminalServices, AFailedSendIsNeverReportedAsDelivered) {
  WtsTerminalServices services;
  EXPECT_NE(services.SendSessionMessage(ServerHandle::Current, 0x7FFFFFFF, "T", 2, "M", 2), 0);
}

// Wine's messenger entry point ends the process when called: under Wine the
// system's library is found as a missing one is, whichever name loads it, so
// popups go to the terminal services alone. The stand-in library beside the
// tests is still used (popup_platform_test.cpp). Wine's settings key, which
// Windows lacks, tells the two systems apart independently.
TEST(FindMessenger, UnderWineTheSystemsEntryPointIsMissing) {
  HKEY key = nullptr;
  const bool wine = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine", 0, KEY_READ, &key) == 0;
  if (key) RegCloseKey(key);
  ASSERT_EQ(RunningUnderWine(), wine);
  if (!wine) GTEST_SKIP() << "Windows' own messenger is used";
  for (const char* name :
       {MessengerLibraryName, "netapi32", "C:\\windows\\system32\\netapi32.dll"}) {
    const MessengerEntry entry = FindMessenger(name);
    EXPECT_EQ(entry.library, nullptr) << name;
    EXPECT_FALSE(entry.send) << name;
  }
}

// Wine runs the tests in the interactive window station, WinSta0.
TEST(ProgramHasDisplay, InTheInteractiveWindowStation) { EXPECT_TRUE(ProgramHasDisplay()); }

}  // namespace
}  // namespace kelvoran
