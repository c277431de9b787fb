#pragma once

#include <optional>

#include "engine/calendar_time.h"

class wxMenu;
class wxWindow;

namespace kelvoran {

// Whom a mute command mutes: the selected hosts or the whole list.
enum class MuteTarget { Hosts, List };

// The Mute submenu: 15 minutes, 1 hour, 4 hours, Until..., Until unmuted,
// then Unmute; the same commands wherever the submenu is shown.
wxMenu* MakeMuteMenu(MuteTarget target);
// Whether the command is one of the submenu's, and for whom.
std::optional<MuteTarget> MuteTargetOf(int id);

// The mute's end the command asks for at `now`: kMutedUntilUnmuted for
// until unmuted, 0 for Unmute; Until... asks for a local date and time to
// come, and gives nothing when the user cancels.
std::optional<CalendarTime> ChooseMuteEnd(int id, CalendarTime now, wxWindow* parent);

}  // namespace kelvoran
