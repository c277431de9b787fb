#include "platform/user_profile_store.h"

#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/windows/code_page.h"

namespace kelvoran {
namespace {

constexpr wchar_t kProfileKey[] = L"Software\\Brindlecot\\Kelvoran by Brindlecot";

std::string Utf8(std::wstring_view text) { return CodePageFromWide(CP_UTF8, text); }

// A value as the desktop toolkit reads it back as text: strings as they are,
// numbers (it writes them as REG_DWORD) in decimal.
bool ValueText(DWORD type, const std::vector<BYTE>& data, DWORD size, std::string& text) {
  if (type == REG_DWORD && size == sizeof(DWORD)) {
    DWORD number = 0;
    std::memcpy(&number, data.data(), sizeof number);
    text = std::to_string(static_cast<long>(number));
    return true;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  std::wstring wide(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
  while (!wide.empty() && wide.back() == L'\0') wide.pop_back();
  text = Utf8(wide);
  return true;
}

void ReadKey(HKEY key, const std::string& path, ProfileEntries& entries) {
  DWORD longestName = 0, longestData = 0, longestSubKey = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &longestSubKey, nullptr, nullptr,
                       &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
    return;
  std::vector<wchar_t> name(std::max(longestName, longestSubKey) + 1);
  std::vector<BYTE> data(longestData + sizeof(wchar_t));
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size()), type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    if (RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size) !=
        ERROR_SUCCESS)
      break;
    std::string text;
    if (ValueText(type, data, size, text))
      entries[path + Utf8({name.data(), nameLength})] = std::move(text);
  }
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    HKEY subKey = nullptr;
    const std::wstring subName(name.data(), nameLength);
    if (RegOpenKeyExW(key, subName.c_str(), 0, KEY_READ, &subKey) != ERROR_SUCCESS) continue;
    ReadKey(subKey, path + Utf8(subName) + "/", entries);
    RegCloseKey(subKey);
  }
}

}  // namespace

std::string UserSettingsFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)))
    return {};
  return Utf8(folder);
}

ProfileEntries ReadUserProfile(std::string& problem) {
  HKEY key = nullptr;
  const LSTATUS opened = RegOpenKeyExW(HKEY_CURRENT_USER, kProfileKey, 0, KEY_READ, &key);
  if (opened == ERROR_FILE_NOT_FOUND) return {};
  if (opened != ERROR_SUCCESS) {
    problem = "the profile in the registry: " + SystemErrorText(static_cast<DWORD>(opened));
    return {};
  }
  ProfileEntries entries;
  ReadKey(key, "", entries);
  RegCloseKey(key);
  return entries;
}

}  // namespace kelvoran
