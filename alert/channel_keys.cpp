#include "alert/channel_keys.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <utility>

namespace kelvoran {
namespace {

constexpr std::array<std::pair<ChannelKind, const char*>, 4> kKindNames = {{
    {ChannelKind::Email, "email"},
    {ChannelKind::Webhook, "webhook"},
    {ChannelKind::Program, "program"},
    {ChannelKind::Sound, "sound"},
}};
constexpr std::array<std::pair<SmtpSecurity, const char*>, 3> kSecurityNames = {{
    {SmtpSecurity::ImplicitTls, "tls"},
    {SmtpSecurity::StartTls, "starttls"},
    {SmtpSecurity::Plain, "plain"},
}};

// Limits of one attempt that a hand-edited profile cannot stretch past a
// day or shrink to nothing.
constexpr std::int32_t kLongestLimitSeconds = 24 * 60 * 60;
// Reminders at most a week apart, and not more than a thousand of them.
constexpr std::int64_t kMostReminderMinutes = 7 * 24 * 60;
constexpr std::int64_t kMostReminders = 1000;

template <typename Enum, std::size_t N>
const char* NameOf(const std::array<std::pair<Enum, const char*>, N>& names, Enum value) {
  for (const auto& [each, name] : names)
    if (each == value) return name;
  return names.front().second;
}

template <typename Enum, std::size_t N>
std::optional<Enum> ValueOf(const std::array<std::pair<Enum, const char*>, N>& names,
                            const std::string& text) {
  for (const auto& [each, name] : names)
    if (text == name) return each;
  return std::nullopt;
}

std::string Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

// Keys of one channel's group.
class Group {
 public:
  Group(const ChannelKeys& keys, std::string prefix) : keys_(keys), prefix_(std::move(prefix)) {}

  std::string Text(const std::string& key) const {
    const auto found = keys_.find(prefix_ + key);
    return found == keys_.end() ? std::string() : found->second;
  }
  bool Has(const std::string& key) const { return keys_.count(prefix_ + key) != 0; }
  const std::string& Prefix() const { return prefix_; }

  // The number, or `fallback` when absent; out of [low, high] it is brought
  // into range and named in `problems`.
  std::int64_t Number(const std::string& key, std::int64_t fallback, std::int64_t low,
                      std::int64_t high, std::vector<std::string>& problems) const {
    if (!Has(key)) return fallback;
    const std::string text = Text(key);
    std::int64_t value = fallback;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
      value = error == std::errc() ? std::clamp(value, low, high) : fallback;
      problems.push_back(prefix_ + key + " = \"" + text + "\" is out of range; " +
                         std::to_string(value) + " is used");
    }
    return value;
  }

  // Numbered keys Key1, Key2 ... up to the first missing one.
  std::vector<std::string> List(const std::string& key) const {
    std::vector<std::string> items;
    for (std::size_t n = 1; Has(key + std::to_string(n)); ++n)
      items.push_back(Text(key + std::to_string(n)));
    return items;
  }

 private:
  const ChannelKeys& keys_;
  std::string prefix_;
};

void PutList(ChannelKeys& keys, const std::string& prefix, const std::string& key,
             const std::vector<std::string>& items) {
  for (std::size_t n = 0; n < items.size(); ++n)
    keys[prefix + key + std::to_string(n + 1)] = items[n];
}

void PutChannel(ChannelKeys& keys, const std::string& prefix, const AlertChannel& channel) {
  // Each value is a string of its own before it goes in: GCC 12 at -O2 warns
  // falsely (-Wrestrict) about assigning a character pointer into the map.
  const auto put = [&](const char* key, std::string value) {
    keys.insert_or_assign(prefix + key, std::move(value));
  };
  put("Name", channel.name);
  put("Kind", NameOf(kKindNames, channel.kind));
  put("AlsoWhenOk", channel.alsoWhenOk ? "1" : "0");
  put("ConnectSeconds", std::to_string(channel.connectSeconds));
  put("TotalSeconds", std::to_string(channel.totalSeconds));
  put("Server", channel.server);
  put("Port", std::to_string(channel.port));
  put("Security", NameOf(kSecurityNames, channel.security));
  put("User", channel.user);
  put("From", channel.from);
  PutList(keys, prefix, "Recipient", channel.recipients);
  put("Subject", channel.subject);
  put("Body", channel.body);
  put("CaFile", channel.caFile);
  put("Url", channel.url);
  put("ContentType", channel.contentType);
  PutList(keys, prefix, "Header", channel.headers);
  put("Program", channel.program);
  PutList(keys, prefix, "Argument", channel.arguments);
  put("SoundFile", channel.soundFile);
  put("QuietHours", channel.quietHours.Text());
  put("SendHeldLater", channel.sendHeldLater ? "1" : "0");
  put("ReminderMinutes", std::to_string(channel.reminderMinutes));
  put("MostReminders", std::to_string(channel.mostReminders));
}

// Profiles written before quiet hours lack the key: never quiet.
QuietHours ReadQuietHours(const Group& group, std::vector<std::string>& problems) {
  std::string problem;
  if (std::optional<QuietHours> hours = QuietHours::Parse(group.Text("QuietHours"), problem))
    return *hours;
  problems.push_back(group.Prefix() + "QuietHours is not understood (" + problem +
                     "); the channel has no quiet hours");
  return {};
}

AlertChannel ReadChannel(const Group& group, std::vector<std::string>& problems) {
  AlertChannel channel;
  channel.alsoWhenOk = group.Text("AlsoWhenOk") == "1";
  channel.connectSeconds = static_cast<std::int32_t>(
      group.Number("ConnectSeconds", channel.connectSeconds, 1, kLongestLimitSeconds, problems));
  channel.totalSeconds = static_cast<std::int32_t>(
      group.Number("TotalSeconds", channel.totalSeconds, 1, kLongestLimitSeconds, problems));
  channel.server = group.Text("Server");
  channel.port = static_cast<std::uint16_t>(group.Number("Port", channel.port, 1, 65535, problems));
  channel.security =
      ValueOf(kSecurityNames, group.Text("Security")).value_or(SmtpSecurity::StartTls);
  channel.user = group.Text("User");
  channel.from = group.Text("From");
  channel.recipients = group.List("Recipient");
  channel.subject = group.Text("Subject");
  channel.body = group.Text("Body");
  channel.caFile = group.Text("CaFile");
  channel.url = group.Text("Url");
  if (group.Has("ContentType")) channel.contentType = group.Text("ContentType");
  channel.headers = group.List("Header");
  channel.program = group.Text("Program");
  channel.arguments = group.List("Argument");
  channel.soundFile = group.Text("SoundFile");
  channel.quietHours = ReadQuietHours(group, problems);
  channel.sendHeldLater = group.Text("SendHeldLater") == "1";
  channel.reminderMinutes = static_cast<std::int32_t>(
      group.Number("ReminderMinutes", 0, 0, kMostReminderMinutes, problems));
  channel.mostReminders = static_cast<std::int32_t>(
      group.Number("MostReminders", channel.mostReminders, 1, kMostReminders, problems));
  return channel;
}

}  // namespace

ChannelKeys KeysOfChannels(const std::vector<AlertChannel>& channels) {
  ChannelKeys keys;
  for (std::size_t n = 0; n < channels.size(); ++n)
    PutChannel(keys, std::to_string(n + 1) + "/", channels[n]);
  return keys;
}

std::vector<AlertChannel> ChannelsOfKeys(const ChannelKeys& keys,
                                         std::vector<std::string>& problems) {
  std::vector<AlertChannel> channels;
  for (std::size_t n = 1; keys.count(std::to_string(n) + "/Name") != 0; ++n) {
    const Group group(keys, std::to_string(n) + "/");
    const std::string name = group.Text("Name");
    const std::optional<ChannelKind> kind = ValueOf(kKindNames, group.Text("Kind"));
    std::string problem = ChannelNameProblem(name, channels);
    if (problem.empty() && !kind) problem = "its kind \"" + group.Text("Kind") + "\" is unknown";
    if (!problem.empty()) {
      problems.push_back("Alert channel " + std::to_string(n) + " is left out: " + problem);
      continue;
    }
    AlertChannel& channel = channels.emplace_back(ReadChannel(group, problems));
    channel.name = name;
    channel.kind = *kind;
  }
  return channels;
}

std::string ChannelNameProblem(const std::string& name, const std::vector<AlertChannel>& channels,
                               std::size_t self) {
  if (Trimmed(name).empty()) return "a channel needs a name";
  if (Trimmed(name) != name) return "a channel's name cannot begin or end with a blank";
  if (name.find(',') != std::string::npos) return "a channel's name cannot hold a comma";
  if (std::any_of(name.begin(), name.end(), [](char c) { return c >= 0 && c < ' '; }))
    return "a channel's name cannot hold a line break or a control character";
  for (std::size_t n = 0; n < channels.size(); ++n)
    if (n != self && channels[n].name == name)
      return "there is already a channel named \"" + name + "\"";
  return {};
}

std::vector<std::string> SplitChannelNames(const std::string& list) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    std::string name = Trimmed(std::string_view(list).substr(start, comma - start));
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
      names.push_back(std::move(name));
    start = comma + 1;
  }
  return names;
}

std::string JoinChannelNames(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ",") + name;
  return list;
}

std::string RenameInChannelList(const std::string& list,
                                const std::map<std::string, std::string>& renamed) {
  std::vector<std::string> names = SplitChannelNames(list);
  for (std::string& name : names)
    if (const auto found = renamed.find(name); found != renamed.end()) name = found->second;
  return JoinChannelNames(names);
}

}  // namespace kelvoran
