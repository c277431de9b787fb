// The computer's names and its interfaces' addresses on Windows.
#include "platform/local_names.h"

// Winsock's header comes before the one of Windows, and the adapter table's
// after both, as each uses what the one before declares.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <utility>
#include <vector>

#include "platform/address_lookup.h"
#include "platform/windows/code_page.h"

namespace kelvoran {
namespace {

// The name in the ANSI code page, the one the monitor's 8-bit destinations
// are written in; nothing when the system has no such name.
std::optional<std::string> ComputerNameOf(COMPUTER_NAME_FORMAT format) {
  wchar_t name[256];
  DWORD size = 256;
  if (!GetComputerNameExW(format, name, &size) || size == 0) return std::nullopt;
  return CodePageFromWide(CP_ACP, std::wstring_view(name, size));
}

// GetAdaptersAddresses says how much room it needs when the buffer is too
// small; an adapter can appear between two calls, hence the loop.
std::vector<unsigned char> AdapterTable() {
  constexpr ULONG kFlags =
      GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  ULONG size = 16 * 1024;
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::vector<unsigned char> table(size);
    const ULONG status = GetAdaptersAddresses(
        AF_UNSPEC, kFlags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(table.data()), &size);
    if (status == NO_ERROR) return table;
    if (status != ERROR_BUFFER_OVERFLOW) break;
  }
  return {};
}

}  // namespace

std::optional<std::string> FullHostName() { return ComputerNameOf(ComputerNameDnsFullyQualified); }

// The DNS host name is the first label of the full name; a computer without
// TCP/IP names has its NetBIOS name only.
std::optional<std::string> ShortHostName() {
  if (std::optional<std::string> name = ComputerNameOf(ComputerNameDnsHostname)) return name;
  return ComputerNameOf(ComputerNameNetBIOS);
}

AddressList OwnAddresses() {
  std::vector<unsigned char> table = AdapterTable();
  AddressList addresses;
  if (table.empty()) return addresses;
  for (const IP_ADAPTER_ADDRESSES* adapter =
           reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(table.data());
       adapter; adapter = adapter->Next) {
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast;
         unicast = unicast->Next) {
      if (auto address = NumericAddress(unicast->Address.lpSockaddr))
        addresses.push_back(std::move(*address));
    }
  }
  return addresses;
}

}  // namespace kelvoran
