#include "ui/main_window/commands.h"

#include <wx/menu.h>

#include <algorithm>
#include <iterator>

#include "ui/main_window/command_ids.h"

namespace kelvoran {
namespace {

constexpr CommandText kCommands[] = {
    {ID_HOST_ADD, "&Add...\tCtrl+N", "Add a new host"},
    {ID_HOST_EDIT, "&Edit...\tAlt+Enter", "Edit the settings for the selected host"},
    {ID_HOST_DELETE, "&Delete\tDel", "Delete the selected host"},
    {ID_HOST_DELETE_WITH_HISTORY, "Delete &with History...",
     "Delete the selected host and its recorded history"},
    {ID_HOST_RESET, "&Reset results\tCtrl+R", "Reset the results for all hosts"},
    {ID_HOST_HISTORY, "&History...\tCtrl+H", "Show the history of the selected host"},
    {ID_HOST_TRACE_ROUTE, "&Trace route...",
     "Show the path to the selected host and record it anew"},
    {ID_HOST_IMPORT, "&Import...", "Add the hosts listed in a text or CSV file"},
    {ID_HOST_UNDO_IMPORT, "&Undo import",
     "Remove the hosts the last import added, from the list and the settings file"},
    {ID_HOST_EXPORT, "Ex&port...", "Save the list of hosts to a text or CSV file"},
    {ID_HOST_MUTE_15_MINUTES, "1&5 minutes",
     "Hold the selected hosts' alerts and popups for 15 minutes"},
    {ID_HOST_MUTE_1_HOUR, "&1 hour", "Hold the selected hosts' alerts and popups for an hour"},
    {ID_HOST_MUTE_4_HOURS, "&4 hours", "Hold the selected hosts' alerts and popups for 4 hours"},
    {ID_HOST_MUTE_UNTIL, "&Until...",
     "Hold the selected hosts' alerts and popups until a chosen time"},
    {ID_HOST_MUTE_UNTIL_UNMUTED, "Until u&nmuted",
     "Hold the selected hosts' alerts and popups until unmuted"},
    {ID_HOST_UNMUTE, "Un&mute", "Tell again about the selected hosts"},
    {ID_LIST_MUTE_15_MINUTES, "1&5 minutes", "Hold every host's alerts and popups for 15 minutes"},
    {ID_LIST_MUTE_1_HOUR, "&1 hour", "Hold every host's alerts and popups for an hour"},
    {ID_LIST_MUTE_4_HOURS, "&4 hours", "Hold every host's alerts and popups for 4 hours"},
    {ID_LIST_MUTE_UNTIL, "&Until...", "Hold every host's alerts and popups until a chosen time"},
    {ID_LIST_MUTE_UNTIL_UNMUTED, "Until u&nmuted",
     "Hold every host's alerts and popups until unmuted"},
    {ID_LIST_UNMUTE, "Unmute &all", "End the mute of the whole list"},
    {ID_APP_EXIT, "E&xit", "Exit Kelvoran"},
    {ID_VIEW_TOOLBAR, "&Toolbar", "Show or hide the toolbar", wxITEM_CHECK},
    {ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar", wxITEM_CHECK},
    {ID_VIEW_MINIMISE_TO_TRAY, "&Minimise to Notification Area",
     "Hide the minimised window in the notification area", wxITEM_CHECK},
    {ID_VIEW_OUTAGES, "O&utages...", "Show every change of status of all hosts"},
    {ID_VIEW_COLUMNS, "Co&lumns...", "Choose the optional columns of the list"},
    {ID_VIEW_ALERT_CHANNELS, "Alert C&hannels...",
     "Define where alerts go: e-mail, webhooks, programs, sounds"},
    {ID_VIEW_ALERT_LOG, "Alert Lo&g...", "Show every attempt to deliver an alert"},
    {ID_VIEW_OPTIONS, "&Options...", "Change how many probes start per second"},
    {ID_HELP_CONTENTS, "&Contents\tF1", ""},
    {ID_HELP_WEBSITE, "Brindlecot website", "Visit the Brindlecot website"},
    {ID_HELP_EMAIL, "Email Brindlecot", "Send an E-mail to Brindlecot"},
    {ID_APP_ABOUT, "&About Kelvoran...", "About Kelvoran"},
};

}  // namespace

const CommandText& CommandTextOf(int id) {
  const auto* found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                   [id](const CommandText& command) { return command.id == id; });
  wxASSERT_MSG(found != std::end(kCommands), "a command without its texts");
  static constexpr CommandText kUnknown{0, "", ""};
  return found != std::end(kCommands) ? *found : kUnknown;
}

void AppendCommands(wxMenu& menu, std::initializer_list<int> ids, WithPrompts prompts) {
  for (const int id : ids) {
    if (id == kMenuSeparator) {
      menu.AppendSeparator();
      continue;
    }
    const CommandText& command = CommandTextOf(id);
    menu.Append(id, command.label, prompts == WithPrompts::Yes ? command.prompt : "", command.kind);
  }
}

}  // namespace kelvoran
