#pragma once

#include <string>
#include <vector>

#include "alert/alert_channel.h"

class wxConfigBase;

namespace kelvoran {

// The alert channels in the user's profile, in a group of their own beside the
// options: profiles written before channels existed simply lack it.
std::vector<AlertChannel> LoadAlertChannels(wxConfigBase& profile,
                                            std::vector<std::string>& problems);
void SaveAlertChannels(wxConfigBase& profile, const std::vector<AlertChannel>& channels);

}  // namespace kelvoran
