#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kelvoran {

// Where the maker's links lead: the Help menu, the toolbar and the About box
// all open these.
inline constexpr std::string_view kMakerHomePage = "https://brindlecot.example/";
inline constexpr std::string_view kMakerMailLink = "mailto:info@brindlecot.example";

// Opens a web or "mailto:" target and returns at once.
using LinkOpener = std::function<void(const std::string& target)>;

// Replaces the opener, for instance with one that records the targets in a
// test. An empty function restores the desktop's own, which hands the target
// to the user's browser or mail program, waits for nothing and reports
// nothing when no program takes it.
void SetLinkOpener(LinkOpener opener);

void OpenLink(std::string_view target);

}  // namespace kelvoran
