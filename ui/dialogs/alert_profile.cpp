#include "ui/dialogs/alert_profile.h"

#include <wx/config.h>

#include "alert/channel_keys.h"

namespace kelvoran {
namespace {

constexpr const char* kGroup = "/AlertChannels";

// Every entry below the current group, with its path relative to `base`.
void CollectEntries(wxConfigBase& profile, const wxString& base, ChannelKeys& keys) {
  wxString name;
  long cookie = 0;
  for (bool more = profile.GetFirstEntry(name, cookie); more;
       more = profile.GetNextEntry(name, cookie))
    keys[std::string((base + name).utf8_str())] = std::string(profile.Read(name).utf8_str());
  std::vector<wxString> groups;
  for (bool more = profile.GetFirstGroup(name, cookie); more;
       more = profile.GetNextGroup(name, cookie))
    groups.push_back(name);
  for (const wxString& group : groups) {
    const wxString path = profile.GetPath();
    profile.SetPath(group);
    CollectEntries(profile, base + group + "/", keys);
    profile.SetPath(path);
  }
}

}  // namespace

std::vector<AlertChannel> LoadAlertChannels(wxConfigBase& profile,
                                            std::vector<std::string>& problems) {
  if (!profile.HasGroup(kGroup)) return {};
  ChannelKeys keys;
  const wxString path = profile.GetPath();
  // Templates and arguments hold "$" and "%" of their own: wx would read
  // "$HOME" in them as the variable.
  const bool expanding = profile.IsExpandingEnvVars();
  profile.SetExpandEnvVars(false);
  profile.SetPath(kGroup);
  CollectEntries(profile, wxString(), keys);
  profile.SetPath(path);
  profile.SetExpandEnvVars(expanding);
  return ChannelsOfKeys(keys, problems);
}

void SaveAlertChannels(wxConfigBase& profile, const std::vector<AlertChannel>& channels) {
  profile.DeleteGroup(kGroup);
  for (const auto& [key, value] : KeysOfChannels(channels))
    profile.Write(wxString(kGroup) + "/" + wxString::FromUTF8(key), wxString::FromUTF8(value));
  profile.Flush();
}

}  // namespace kelvoran
