#include "alert/channel_keys.h"

#include <gtest/gtest.h>

namespace kelvoran {
namespace {

AlertChannel Mail() {
  AlertChannel mail;
  mail.name = "On-call mail";
  mail.alsoWhenOk = true;
  mail.server = "mail.example.org";
  mail.port = 465;
  mail.security = SmtpSecurity::ImplicitTls;
  mail.user = "monitor";
  mail.recipients = {"a@example.org", "b@example.org"};
  mail.body = "{host} is {status}\nsince {outage_start}";
  std::string problem;
  mail.quietHours = QuietHours::Parse("Sun-Thu 22:00-07:00; Sat 00:00-24:00", problem).value();
  mail.sendHeldLater = true;
  mail.reminderMinutes = 15;
  mail.mostReminders = 4;
  return mail;
}

AlertChannel Script() {
  AlertChannel script;
  script.name = "Ticket";
  script.kind = ChannelKind::Program;
  script.program = "/usr/local/bin/ticket";
  script.arguments = {"--host", "{host}", ""};
  script.totalSeconds = 120;
  return script;
}

std::string Fields(const AlertChannel& c) {
  std::string text = c.name + "|" + std::to_string(static_cast<int>(c.kind)) + "|" +
                     std::to_string(c.port) + "|" + c.body + "|" + c.program + "|" +
                     std::to_string(c.totalSeconds) + "|" + (c.alsoWhenOk ? "ok" : "") + "|" +
                     c.quietHours.Text() + (c.sendHeldLater ? "|later|" : "|") +
                     std::to_string(c.reminderMinutes) + "x" + std::to_string(c.mostReminders);
  for (const auto* list : {&c.recipients, &c.arguments, &c.headers})
    for (const std::string& item : *list) text += "|" + item;
  return text;
}

// What the profile gets back is what was stored, empty arguments and line
// breaks included, in the list's order.
TEST(ChannelKeys, ChannelsComeBackAsStored) {
  const std::vector<AlertChannel> stored = {Mail(), Script()};
  std::vector<std::string> problems;
  const auto loaded = ChannelsOfKeys(KeysOfChannels(stored), problems);
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_TRUE(problems.empty());
  for (std::size_t n = 0; n < stored.size(); ++n) EXPECT_EQ(Fields(loaded[n]), Fields(stored[n]));
}

// A hand-edited profile: what cannot be a channel is left out and named,
// absurd numbers are brought into range, the rest is kept.
TEST(ChannelKeys, AHandEditedProfileLosesOnlyWhatCannotBeUsed) {
  ChannelKeys keys = KeysOfChannels({Mail(), Mail(), Script(), Script()});
  keys["3/Kind"] = "carrier pigeon";
  keys["4/Name"] = "Ticket";  // the same name again is no longer a duplicate
  keys["1/Port"] = "99999";
  keys["1/TotalSeconds"] = "-5";
  keys["4/ConnectSeconds"] = "ten";
  keys["1/QuietHours"] = "nights";
  keys["1/MostReminders"] = "0";
  // Written before quiet hours and reminders: none.
  for (const char* key :
       {"4/QuietHours", "4/SendHeldLater", "4/ReminderMinutes", "4/MostReminders"})
    keys.erase(key);
  std::vector<std::string> problems;
  const auto loaded = ChannelsOfKeys(keys, problems);
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_EQ(loaded[0].port, 65535);
  EXPECT_EQ(loaded[0].totalSeconds, 1);
  EXPECT_EQ(loaded[1].name, "Ticket");
  EXPECT_EQ(loaded[1].connectSeconds, 10);
  EXPECT_TRUE(loaded[0].quietHours.Empty());
  EXPECT_EQ(loaded[0].mostReminders, 1);
  EXPECT_TRUE(loaded[1].quietHours.Empty());
  EXPECT_EQ(loaded[1].reminderMinutes, 0);
  ASSERT_EQ(problems.size(), 7u);
  EXPECT_EQ(problems[2],
            "1/QuietHours is not understood (\"nights\" is not a time range such as "
            "22:00-07:00); the channel has no quiet hours");
  EXPECT_EQ(problems[4],
            "Alert channel 2 is left out: there is already a channel named "
            "\"On-call mail\"");
  EXPECT_EQ(problems[5], "Alert channel 3 is left out: its kind \"carrier pigeon\" is unknown");
}

TEST(ChannelKeys, NamesAndHostLists) {
  const std::vector<AlertChannel> channels = {Mail()};
  for (const auto& [name, refused] :
       std::vector<std::pair<std::string, bool>>{{"Pager", false},
                                                 {"", true},
                                                 {" Pager", true},
                                                 {"Mail, urgent", true},
                                                 {"two\nlines", true},
                                                 {"On-call mail", true}}) {
    EXPECT_EQ(!ChannelNameProblem(name, channels).empty(), refused) << name;
  }
  EXPECT_TRUE(ChannelNameProblem("On-call mail", channels, 0).empty()) << "its own name";
  EXPECT_EQ(SplitChannelNames(" Mail ,, Pager,Mail,"), (std::vector<std::string>{"Mail", "Pager"}));
  EXPECT_EQ(JoinChannelNames({"Mail", "Pager"}), "Mail,Pager");
  EXPECT_EQ(RenameInChannelList("Mail, Pager", {{"Mail", "Pager"}, {"Pager", "Phone"}}),
            "Pager,Phone")
      << "renames at once, not one after another";
}

}  // namespace
}  // namespace kelvoran
