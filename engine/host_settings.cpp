#include "engine/host_settings.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <unordered_set>
#include <vector>

#include "engine/host_mute.h"
#include "engine/host_record.h"
#include "engine/host_rows.h"
#include "engine/quality_watch.h"
#include "portable/private_profile.h"

namespace kelvoran {
namespace {

constexpr std::int32_t kDefaultTimeout = 10;
constexpr std::int32_t kDefaultDelay = 10;
constexpr std::int32_t kDefaultPacketSize = 32;
constexpr std::int32_t kDefaultFailPeriod = 60;
constexpr std::int32_t kDefaultSuccessPeriod = 60;
constexpr char kPopupWhenOkKey[] = "PopupWhenOk";
constexpr char kAlertChannelsKey[] = "AlertChannels";
constexpr char kDependsOnKey[] = "DependsOn";
constexpr char kQualityWindowKey[] = "QualityProbes";
constexpr char kSlowAboveKey[] = "SlowAboveMs";
constexpr char kLossAboveKey[] = "LossAbovePercent";
constexpr char kJitterAboveKey[] = "JitterAboveMs";

// Reads a text setting; returns whether it gave any characters.
// Text is std::string or SparseText.
template <class Text>
bool ReadText(const ProfileText& file, std::string_view section, std::string_view key,
              Text& field) {
  char buffer[kSettingBufferSize];
  const std::uint32_t length =
      GetPrivateProfileStringA(section, key, "", buffer, sizeof buffer, file);
  if (length != 0) field = std::string_view(buffer, length);
  return length != 0;
}

std::int32_t ReadSigned(const ProfileText& file, std::string_view section, std::string_view key,
                        std::int32_t defaultValue) {
  return GetProfileInt32(section, key, defaultValue, file);
}

// Every section name of the file, each ended by a zero byte, the list by one
// more. The buffer starts at the classic size and doubles for as long as the
// call says the names were cut, so no host is left unloaded however many
// there are or however long their names.
std::vector<char> ReadSectionNames(const ProfileText& file) {
  std::vector<char> names(kSectionNamesBufferSize);
  for (;;) {
    const auto size = static_cast<std::uint32_t>(names.size());
    if (GetPrivateProfileSectionNamesA(names.data(), size, file) != size - 2) return names;
    names.resize(names.size() * 2);
  }
}

// A negative number is as absurd as a huge one: both are brought within the
// limits rather than wrapped round.
std::uint32_t ReadLimit(const ProfileText& file, std::string_view section, std::string_view key,
                        std::uint32_t defaultValue) {
  const std::int32_t value =
      ReadSigned(file, section, key, static_cast<std::int32_t>(defaultValue));
  return value < 0 ? std::numeric_limits<std::uint32_t>::max() : static_cast<std::uint32_t>(value);
}

QualityRules ReadQualityRules(const ProfileText& file, std::string_view section) {
  QualityRules rules;
  rules.window = ReadLimit(file, section, kQualityWindowKey, rules.window);
  rules.slowMs = ReadLimit(file, section, kSlowAboveKey, 0);
  rules.lossPercent = ReadLimit(file, section, kLossAboveKey, 0);
  rules.jitterMs = ReadLimit(file, section, kJitterAboveKey, 0);
  return WithinQualityLimits(rules);
}

}  // namespace

std::int32_t LoadHostSettings(HostRecord& record, std::string_view section,
                              const ProfileText& file) {
  const std::int32_t result = ReadText(file, section, "Host", record.Host) ? 0 : -1;
  record.Timeout = ReadSigned(file, section, "Timeout", kDefaultTimeout);
  record.Delay = ReadSigned(file, section, "Delay", kDefaultDelay);
  record.PacketSize = GetPrivateProfileIntA(section, "PacketSize", kDefaultPacketSize, file);
  record.FailPeriod = ReadSigned(file, section, "FailPeriod", kDefaultFailPeriod);
  record.SuccessPeriod = ReadSigned(file, section, "SuccessPeriod", kDefaultSuccessPeriod);
  ReadText(file, section, "PopupDestination", record.PopupDestination);
  ReadText(file, section, "PopupMessage", record.PopupMessage);
  ReadText(file, section, "Description", record.Description);
  record.PopupWhenOk = ReadSigned(file, section, kPopupWhenOkKey, 0) != 0;
  record.AlertChannels.clear();
  ReadText(file, section, kAlertChannelsKey, record.AlertChannels);
  record.DependsOn.clear();
  ReadText(file, section, kDependsOnKey, record.DependsOn);
  std::string mutedUntil;
  ReadText(file, section, kMutedUntilKey, mutedUntil);
  record.MutedUntil = ParseMutedUntil(mutedUntil);
  record.Quality = ReadQualityRules(file, section);
  return result;
}

std::int32_t LoadHostSettings(HostRecord& record, std::string_view section,
                              const std::string& fileName) {
  ProfileText file;
  if (!ReadProfile(fileName, file).ok()) return -1;
  return LoadHostSettings(record, section, file);
}

namespace {

// The keys in the order the writer puts them.
constexpr std::string_view kKeyOrder[] = {"Host",
                                          "Timeout",
                                          "Delay",
                                          "PacketSize",
                                          "FailPeriod",
                                          "SuccessPeriod",
                                          "PopupDestination",
                                          "PopupMessage",
                                          "Description",
                                          kPopupWhenOkKey,
                                          kAlertChannelsKey,
                                          kDependsOnKey,
                                          kMutedUntilKey,
                                          kQualityWindowKey,
                                          kSlowAboveKey,
                                          kLossAboveKey,
                                          kJitterAboveKey};

// The nine keys' texts, in that order.
std::array<std::string, 9> KeyTexts(const HostRecord& record) {
  return {record.Host,
          std::to_string(record.Timeout),
          std::to_string(record.Delay),
          std::to_string(record.PacketSize),
          std::to_string(record.FailPeriod),
          std::to_string(record.SuccessPeriod),
          record.PopupDestination,
          record.PopupMessage,
          record.Description};
}

void SetOptionalKey(ProfileText& file, std::string_view section, std::string_view key,
                    const std::string& text, bool unchanged) {
  if (unchanged) return;
  if (text.empty())
    file.RemoveKey(section, key);
  else
    file.SetValue(section, key, text);
}

// Written only while a rule is on, like the other optional keys.
void SetQualityKeys(ProfileText& file, std::string_view section, const QualityRules& rules,
                    const QualityRules* before) {
  const auto number = [](std::uint32_t value) {
    return value == 0 ? std::string() : std::to_string(value);
  };
  const bool unchanged = before && *before == rules;
  SetOptionalKey(file, section, kQualityWindowKey, rules.Any() ? number(rules.window) : "",
                 unchanged);
  SetOptionalKey(file, section, kSlowAboveKey, number(rules.slowMs), unchanged);
  SetOptionalKey(file, section, kLossAboveKey, number(rules.lossPercent), unchanged);
  SetOptionalKey(file, section, kJitterAboveKey, number(rules.jitterMs), unchanged);
}

// The keys go in as one write each would put them. With `before`, only the
// settings that differ from it are written: what the operator did not change
// stays in the file as it was, a text longer than a record holds included.
void SetHostKeys(ProfileText& file, const HostRecord& record, std::string_view section,
                 const HostRecord* before = nullptr) {
  const auto texts = KeyTexts(record);
  const auto was = before ? KeyTexts(*before) : decltype(texts){};
  for (std::size_t key = 0; key < texts.size(); ++key)
    if (!before || texts[key] != was[key]) file.SetValue(section, kKeyOrder[key], texts[key]);
  // The keys below are present only while set: a host that does not use
  // them keeps the section that earlier versions wrote, and they read it as
  // before.
  SetOptionalKey(file, section, kPopupWhenOkKey, record.PopupWhenOk ? "1" : "",
                 before && before->PopupWhenOk == record.PopupWhenOk);
  SetOptionalKey(file, section, kAlertChannelsKey, record.AlertChannels,
                 before && before->AlertChannels == record.AlertChannels);
  SetOptionalKey(file, section, kDependsOnKey, record.DependsOn,
                 before && before->DependsOn == record.DependsOn);
  SetOptionalKey(file, section, kMutedUntilKey, MutedUntilText(record.MutedUntil),
                 before && before->MutedUntil == record.MutedUntil);
  SetQualityKeys(file, section, record.Quality, before ? &before->Quality : nullptr);
}

}  // namespace

FileResult SaveHostSettings(const HostRecord& record, std::string_view section,
                            const std::string& fileName, ProfileWitness* witness) {
  // All keys reach the disk in one replacement of the file.
  return EditProfile(
      fileName, [&](ProfileText& file) { SetHostKeys(file, record, section); }, witness);
}

FileResult SaveHostSettings(const std::vector<const HostRecord*>& hosts,
                            const std::string& fileName, ProfileWitness* witness,
                            const SaveProgress& progress) {
  return EditProfileUnlessCancelled(
      fileName,
      [&](ProfileText& file) {
        for (std::size_t done = 0; done < hosts.size(); ++done) {
          if (progress && done % kSaveProgressStep == 0 && !progress(done)) return false;
          SetHostKeys(file, *hosts[done], hosts[done]->Host);
        }
        return true;
      },
      witness);
}

FileResult RemoveHostSections(const std::vector<std::string>& sections, const std::string& fileName,
                              ProfileWitness* witness) {
  std::unordered_set<std::string> keys;
  for (const std::string& section : sections) keys.insert(ProfileText::SectionKey(section));
  return EditProfile(
      fileName, [&](ProfileText& file) { file.RemoveSections(keys); }, witness);
}

FileResult SaveHostEdit(const HostRecord& before, const HostRecord& after,
                        const std::string& fileName, ProfileWitness* witness) {
  const std::string_view section = SectionOf(before);
  return EditProfile(
      fileName,
      [&](ProfileText& file) {
        SetHostKeys(file, after, section, &before);
        file.OrderKeys(section, {std::begin(kKeyOrder), std::end(kKeyOrder)});
      },
      witness);
}

FileResult SaveDependencies(const std::vector<const HostRecord*>& hosts,
                            const std::string& fileName, ProfileWitness* witness) {
  return EditProfile(
      fileName,
      [&](ProfileText& file) {
        for (const HostRecord* host : hosts)
          SetOptionalKey(file, SectionOf(*host), kDependsOnKey, host->DependsOn, false);
      },
      witness);
}

std::string_view SectionOf(const HostRecord& record) {
  return record.Section.empty() ? std::string_view(record.Host) : std::string_view(record.Section);
}

namespace {

void RemoveSection(ProfileText& file, std::string_view section, const HostRecord* namesake) {
  file.EmptySection(section);
  if (namesake) SetHostKeys(file, *namesake, namesake->Host);
}

}  // namespace

FileResult RemoveHostSection(std::string_view section, const HostRecord* namesake,
                             const std::string& fileName, ProfileWitness* witness) {
  return EditProfile(
      fileName, [&](ProfileText& file) { RemoveSection(file, section, namesake); }, witness);
}

FileResult RenameHostSection(const HostRecord& record, std::string_view oldSection,
                             const HostRecord* namesake, const std::string& fileName,
                             ProfileWitness* witness) {
  return EditProfile(
      fileName,
      [&](ProfileText& file) {
        SetHostKeys(file, record, record.Host);
        RemoveSection(file, oldSection, namesake);
      },
      witness);
}

std::string HostSettingsPath() {
  // getcwd fails with ENOENT once the directory has been removed: the bare
  // name then reads as a missing file and every save reports its failure.
  std::error_code error;
  const std::filesystem::path directory = std::filesystem::current_path(error);
  if (error) return kHostSettingsFile;
  return (directory / kHostSettingsFile).string();
}

FileResult ReadHostList(std::vector<std::unique_ptr<HostRecord>>& hosts,
                        const std::string& fileName, ProfileWitness* witness) {
  ProfileText file;
  if (FileResult read = ReadProfile(fileName, file, witness); !read.ok()) return read;
  const std::vector<char> names = ReadSectionNames(file);
  for (const char* name = names.data(); *name != '\0'; name += std::strlen(name) + 1) {
    auto record = std::make_unique<HostRecord>();
    if (LoadHostSettings(*record, name, file) != 0) continue;
    record->Section = name;
    hosts.push_back(std::move(record));
  }
  return {};
}

FileResult LoadHostList(HostRows& rows, const std::string& fileName, ProfileWitness* witness) {
  std::vector<std::unique_ptr<HostRecord>> hosts;
  FileResult read = ReadHostList(hosts, fileName, witness);
  rows.AddRows(std::move(hosts));
  return read;
}

}  // namespace kelvoran
