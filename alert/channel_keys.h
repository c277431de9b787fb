#pragma once

#include <map>
#include <string>
#include <vector>

#include "alert/alert_channel.h"

namespace kelvoran {

// The channel list as flat keys, the way the user's profile keeps it: one
// group per channel numbered from 1 in the list's order ("1/Name",
// "1/Kind", "1/Recipients", "1/Argument1" ...). Secrets are never among them.
using ChannelKeys = std::map<std::string, std::string>;

ChannelKeys KeysOfChannels(const std::vector<AlertChannel>& channels);

// Reads the list back. A group without a usable name or kind, or with a
// name already taken, is left out and named in `problems`; absurd numbers
// from a hand-edited profile are brought into range (and named too).
std::vector<AlertChannel> ChannelsOfKeys(const ChannelKeys& keys,
                                         std::vector<std::string>& problems);

// Why `name` cannot name a channel of `channels` (other than the one at
// `self`, when editing it), or empty when it can.
std::string ChannelNameProblem(const std::string& name, const std::vector<AlertChannel>& channels,
                               std::size_t self = static_cast<std::size_t>(-1));

// A host's AlertChannels value split into names, blanks at either end of each
// dropped, empty ones skipped; and joined back.
std::vector<std::string> SplitChannelNames(const std::string& list);
std::string JoinChannelNames(const std::vector<std::string>& names);

// A host's AlertChannels value with renamed channels under their new names.
std::string RenameInChannelList(const std::string& list,
                                const std::map<std::string, std::string>& renamed);

}  // namespace kelvoran
