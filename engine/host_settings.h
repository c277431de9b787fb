#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "portable/file_result.h"
#include "portable/private_profile.h"
#include "portable/profile_text.h"

namespace kelvoran {

class HostRecord;
class HostRows;

// The host list's settings file, relative to the process's current directory,
// which the program never changes.
inline constexpr char kHostSettingsFile[] = "KELVORAN.INI";

// A text setting is read back with at most this many bytes less one.
inline constexpr std::uint32_t kSettingBufferSize = 1024;
// The first size of the buffer LoadHostList reads the section names into; it
// grows until every name fits.
inline constexpr std::uint32_t kSectionNamesBufferSize = 10240;

// The settings file in the current directory, as an absolute path; the bare
// file name when the directory has no name any more (it was deleted).
std::string HostSettingsPath();

// Fills the record's ten settings from the section: missing numbers take
// their defaults, missing or empty texts leave the field as it was, and
// PopupWhenOk is set by any number but 0 (missing: 0). Returns 0
// when the section gave a non-empty "Host", -1 otherwise (the caller discards
// the record). The overload with a file name reads the file itself; an
// unreadable file gives -1.
std::int32_t LoadHostSettings(HostRecord& record, std::string_view section,
                              const ProfileText& file);
std::int32_t LoadHostSettings(HostRecord& record, std::string_view section,
                              const std::string& fileName);

// Every save below goes through EditProfile: under the save lock, applied to
// the file as it is now, and seen by `witness` when one is given.
//
// Writes the settings as the keys of the section, existing keys in their
// places, new ones in the order Host, Timeout, Delay, PacketSize, FailPeriod,
// SuccessPeriod, PopupDestination, PopupMessage, Description, then
// PopupWhenOk=1 only when that is set (otherwise the key is removed), and
// AlertChannels and DependsOn only when not empty. The file
// is replaced in one atomic step, so a crash never leaves half a section.
FileResult SaveHostSettings(const HostRecord& record, std::string_view section,
                            const std::string& fileName, ProfileWitness* witness = nullptr);

// Told, now and then while a long save sets its hosts, how many are set;
// returns false to call the save off.
using SaveProgress = std::function<bool(std::size_t hostsSet)>;
inline constexpr std::size_t kSaveProgressStep = 1000;

// Saves each host under its own name, as one SaveHostSettings after another
// would, in one replacement of the file: adding thousands of hosts reads and
// writes the file once, not once a host. `progress` hears every
// kSaveProgressStep hosts; when it calls the save off, nothing is written.
FileResult SaveHostSettings(const std::vector<const HostRecord*>& hosts,
                            const std::string& fileName, ProfileWitness* witness = nullptr,
                            const SaveProgress& progress = nullptr);

// Removes the sections whole (see ProfileText::RemoveSections), in one
// replacement of the file: what undoes an import.
FileResult RemoveHostSections(const std::vector<std::string>& sections, const std::string& fileName,
                              ProfileWitness* witness = nullptr);

// Saves an edit of a host whose name still finds its section: the settings
// that differ between `before` and `after` are written into the section the
// host came from (SectionOf(before)), the rest stay as the file has them,
// comments and keys this version does not know included. The nine keys then
// stand first in the section, in the writer's order.
FileResult SaveHostEdit(const HostRecord& before, const HostRecord& after,
                        const std::string& fileName, ProfileWitness* witness = nullptr);

// Writes each host's DependsOn into its section (SectionOf), the key removed
// when empty, in one replacement of the file: what a rename or delete of the
// host they depend on changes in the hosts behind it.
FileResult SaveDependencies(const std::vector<const HostRecord*>& hosts,
                            const std::string& fileName, ProfileWitness* witness = nullptr);

// The section a record's settings live in: its Section, or its Host for a
// record not saved yet.
std::string_view SectionOf(const HostRecord& record);

// Empties the section and, when `namesake` (a host whose name finds the same
// section) is given, writes the namesake's keys back into it: the one write of
// Delete, so that the file never lacks a host the list still has.
FileResult RemoveHostSection(std::string_view section, const HostRecord* namesake,
                             const std::string& fileName, ProfileWitness* witness = nullptr);

// Saves the record under its new name and removes the old section as
// RemoveHostSection does, in one replacement of the file: a rename either
// happens whole or not at all.
FileResult RenameHostSection(const HostRecord& record, std::string_view oldSection,
                             const HostRecord* namesake, const std::string& fileName,
                             ProfileWitness* witness = nullptr);

// Reads the file once and hands every section with a non-empty "Host" to the
// list as a new row, which is then formatted. A missing file gives no rows
// and no error; a file that exists but cannot be read gives no rows and the
// reason.
FileResult LoadHostList(HostRows& rows, const std::string& fileName,
                        ProfileWitness* witness = nullptr);
// The same hosts, in file order, as records of their own.
FileResult ReadHostList(std::vector<std::unique_ptr<HostRecord>>& hosts,
                        const std::string& fileName, ProfileWitness* witness = nullptr);

}  // namespace kelvoran
