#include "engine/host_settings.h"

#include <cstring>
#include <memory>
#include <vector>

#include "engine/host_record.h"
#include "engine/host_rows.h"
#include "platform/private_profile.h"

namespace kelvoran {
namespace {

constexpr std::int32_t kDefaultTimeout = 10;
constexpr std::int32_t kDefaultDelay = 10;
constexpr std::int32_t kDefaultPacketSize = 32;
constexpr std::int32_t kDefaultFailPeriod = 60;
constexpr std::int32_t kDefaultSuccessPeriod = 60;

// Reads a text setting; returns whether it gave any characters.
bool ReadText(const ProfileText& file, std::string_view section, std::string_view key,
              std::string& field) {
  char buffer[kSettingBufferSize];
  const std::uint32_t length =
      GetPrivateProfileStringA(section, key, "", buffer, sizeof buffer, file);
  if (length != 0) field.assign(buffer, length);
  return length != 0;
}

std::int32_t ReadSigned(const ProfileText& file, std::string_view section, std::string_view key,
                        std::int32_t defaultValue) {
  return static_cast<std::int32_t>(GetPrivateProfileIntA(section, key, defaultValue, file));
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
  return result;
}

std::int32_t LoadHostSettings(HostRecord& record, std::string_view section,
                              const std::string& fileName) {
  ProfileText file;
  if (!ReadProfile(fileName, file).ok()) return -1;
  return LoadHostSettings(record, section, file);
}

namespace {

// The nine keys go in as nine writes would put them.
void SetHostKeys(ProfileText& file, const HostRecord& record, std::string_view section) {
  file.SetValue(section, "Host", record.Host);
  file.SetValue(section, "Timeout", std::to_string(record.Timeout));
  file.SetValue(section, "Delay", std::to_string(record.Delay));
  file.SetValue(section, "PacketSize", std::to_string(record.PacketSize));
  file.SetValue(section, "FailPeriod", std::to_string(record.FailPeriod));
  file.SetValue(section, "SuccessPeriod", std::to_string(record.SuccessPeriod));
  file.SetValue(section, "PopupDestination", record.PopupDestination);
  file.SetValue(section, "PopupMessage", record.PopupMessage);
  file.SetValue(section, "Description", record.Description);
}

}  // namespace

FileResult SaveHostSettings(const HostRecord& record, std::string_view section,
                            const std::string& fileName) {
  ProfileText file;
  if (FileResult read = ReadProfile(fileName, file); !read.ok()) return read;
  // All nine reach the disk in one replacement of the file.
  SetHostKeys(file, record, section);
  return WriteProfile(fileName, file);
}

FileResult RewriteHostSection(const HostRecord& record, const std::string& fileName) {
  ProfileText file;
  if (FileResult read = ReadProfile(fileName, file); !read.ok()) return read;
  file.EmptySection(record.Host);
  SetHostKeys(file, record, record.Host);
  return WriteProfile(fileName, file);
}

FileResult EmptyHostSection(std::string_view section, const std::string& fileName) {
  return WritePrivateProfileSectionA(section, "", fileName);
}

FileResult LoadHostList(HostRows& rows, const std::string& fileName) {
  ProfileText file;
  if (FileResult read = ReadProfile(fileName, file); !read.ok()) return read;
  std::vector<char> names(kSectionNamesBufferSize);
  if (GetPrivateProfileSectionNamesA(names.data(), kSectionNamesBufferSize, file) == 0) return {};
  for (const char* name = names.data(); *name != '\0'; name += std::strlen(name) + 1) {
    auto record = std::make_unique<HostRecord>();
    if (LoadHostSettings(*record, name, file) != 0) continue;
    rows.FormatRow(rows.AddRow(std::move(record)));
  }
  return {};
}

}  // namespace kelvoran
