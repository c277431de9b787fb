#include "ui/dialogs/alert_channels_dialog.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/listbox.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/simplebook.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <array>
#include <utility>

#include "alert/alert_template.h"
#include "alert/channel_keys.h"
#include "alert/webhook_presets.h"
#include "ui/dialogs/dialog_buttons.h"
#include "ui/dialogs/number_field.h"
#include "ui/main_window/command_ids.h"
#include "ui/parts/art.h"
#include "ui/parts/help_request.h"

namespace kelvoran {
namespace {

constexpr std::array<const char*, 4> kKindLabels = {"E-mail", "Webhook", "Run a program", "Sound"};
constexpr std::array<const char*, 3> kSecurityLabels = {
    "TLS from the start (port 465)", "STARTTLS (port 587)", "None (a local relay, port 25)"};
constexpr std::array<std::uint16_t, 3> kSecurityPorts = {465, 587, 25};

wxString Wide(const std::string& text) { return wxString::FromUTF8(text); }
std::string Narrow(const wxString& text) { return std::string(text.utf8_str()); }

std::vector<std::string> Lines(const wxString& text, bool splitAtCommas) {
  std::vector<std::string> lines;
  std::string item;
  const std::string bytes = Narrow(text);
  for (std::size_t i = 0; i <= bytes.size(); ++i) {
    const bool end = i == bytes.size() || bytes[i] == '\n' || (splitAtCommas && bytes[i] == ',');
    if (!end) {
      if (bytes[i] != '\r') item += bytes[i];
      continue;
    }
    if (splitAtCommas) {
      const auto first = item.find_first_not_of(" \t");
      item = first == std::string::npos
                 ? ""
                 : item.substr(first, item.find_last_not_of(" \t") + 1 - first);
    }
    // A blank line ends nothing but itself; the last one is the text's end.
    if (!(item.empty() && (splitAtCommas || i == bytes.size()))) lines.push_back(item);
    item.clear();
  }
  return lines;
}

wxString Joined(const std::vector<std::string>& items, const char* separator) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) text += (i ? separator : "") + items[i];
  return Wide(text);
}

// A new channel of the kind; a webhook starts from the generic JSON preset.
AlertChannel DefaultChannel(ChannelKind kind, const std::string& name) {
  AlertChannel channel;
  channel.name = name;
  channel.kind = kind;
  if (kind == ChannelKind::Webhook) {
    const WebhookPreset& generic = WebhookPresets().front();
    channel.contentType = generic.contentType;
    channel.body = generic.body;
    channel.headers.assign(generic.headers.begin(), generic.headers.end());
  }
  return channel;
}

std::string UnusedName(const std::vector<AlertChannel>& channels, const std::string& base) {
  std::string name = base;
  for (int n = 2; !ChannelNameProblem(name, channels).empty(); ++n)
    name = base + " " + std::to_string(n);
  return name;
}

std::string PlaceholderList() {
  std::string text = "Placeholders:";
  for (const AlertField& field : AlertFields()) text += " {" + std::string(field.name) + "}";
  return text;
}

}  // namespace

// The fields of every kind's page, by their labels.
struct AlertChannelsDialog::Fields {
  std::map<std::string, wxTextCtrl*> text;
  wxChoice* security = nullptr;
  wxChoice* preset = nullptr;
  wxStaticText* presetHint = nullptr;
  wxStaticText* secretNote[2] = {nullptr, nullptr};
};

AlertChannelsDialog::AlertChannelsDialog(
    wxWindow* parent, std::vector<AlertChannel> channels, std::string secretStoreName,
    std::function<std::string(const std::string&)> storedSecret, TestAlertSender sendTest)
    : wxDialog(parent, wxID_ANY, "Alert Channels", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      storeName_(std::move(secretStoreName)),
      storedSecret_(std::move(storedSecret)),
      sendTest_(std::move(sendTest)),
      self_(std::make_shared<AlertChannelsDialog*>(this)),
      fields_(std::make_unique<Fields>()) {
  for (AlertChannel& channel : channels) {
    const std::string name = channel.name;
    entries_.push_back({std::move(channel), name, std::nullopt});
  }
  BuildLayout();
  for (const Entry& entry : entries_) list_->Append(Wide(entry.channel.name));
  ShowEntry(entries_.empty() ? -1 : 0);
  if (!entries_.empty()) list_->SetSelection(0);
  AnswerHelpKey(*this, kAlertChannelsHelpContext);
}

AlertChannelsDialog::~AlertChannelsDialog() { *self_ = nullptr; }

void AlertChannelsDialog::BuildLayout() {
  SetIcons(AppIcons());
  auto* left = new wxBoxSizer(wxVERTICAL);
  list_ = new wxListBox(this, wxID_ANY, wxDefaultPosition, FromDIP(wxSize(170, 260)));
  left->Add(list_, 1, wxEXPAND);
  auto* listButtons = new wxBoxSizer(wxHORIZONTAL);
  auto* add = new wxButton(this, wxID_ANY, "&Add...");
  auto* remove = new wxButton(this, wxID_ANY, "&Remove");
  listButtons->Add(add);
  listButtons->Add(remove, 0, wxLEFT, 6);
  left->Add(listButtons, 0, wxTOP, 6);

  auto* right = new wxBoxSizer(wxVERTICAL);
  right->Add(BuildCommon(this), 0, wxEXPAND);
  pages_ = new wxSimplebook(this);
  BuildPages();
  right->Add(pages_, 1, wxEXPAND | wxTOP, 6);
  auto* placeholders = new wxStaticText(this, wxID_ANY, PlaceholderList());
  placeholders->Wrap(FromDIP(480));
  right->Add(placeholders, 0, wxTOP, 6);
  auto* testRow = new wxBoxSizer(wxHORIZONTAL);
  test_ = new wxButton(this, wxID_ANY, "Send &test alert");
  testOutcome_ = new wxStaticText(this, wxID_ANY, wxString());
  testRow->Add(test_, 0, wxALIGN_CENTER_VERTICAL);
  testRow->Add(testOutcome_, 1, wxALIGN_CENTER_VERTICAL | wxLEFT, 8);
  right->Add(testRow, 0, wxEXPAND | wxTOP, 8);

  auto* columns = new wxBoxSizer(wxHORIZONTAL);
  columns->Add(left, 0, wxEXPAND);
  columns->Add(right, 1, wxEXPAND | wxLEFT, 10);
  auto* top = new wxBoxSizer(wxVERTICAL);
  top->Add(columns, 1, wxEXPAND | wxALL, 10);
  top->Add(OkCancelHelpButtons(this), 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 10);
  SetSizerAndFit(top);

  list_->Bind(wxEVT_LISTBOX, [this](wxCommandEvent&) { ShowChannel(list_->GetSelection()); });
  add->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnAdd(); });
  remove->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnRemove(); });
  test_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { SendTest(); });
  Bind(
      wxEVT_BUTTON,
      [this](wxCommandEvent&) {
        if (Accept()) EndModal(wxID_OK);
      },
      wxID_OK);
  Bind(
      wxEVT_BUTTON, [](wxCommandEvent&) { RequestHelp(kAlertChannelsHelpContext); }, wxID_HELP);
}

wxSizer* AlertChannelsDialog::BuildCommon(wxWindow* parent) {
  auto* grid = new wxFlexGridSizer(2, wxSize(8, 6));
  grid->AddGrowableCol(1);
  name_ = new wxTextCtrl(parent, wxID_ANY);
  kind_ = new wxChoice(parent, wxID_ANY);
  for (const char* label : kKindLabels) kind_->Append(label);
  kind_->Disable();
  alsoWhenOk_ = new wxCheckBox(parent, wxID_ANY, "Also when the host is OK again");
  timeLimit_ = new NumberField(parent, wxID_ANY, 1, 3600);
  auto* limitRow = new wxBoxSizer(wxHORIZONTAL);
  limitRow->Add(timeLimit_);
  limitRow->Add(new wxStaticText(parent, wxID_ANY, "seconds an attempt may take"), 0,
                wxALIGN_CENTER_VERTICAL | wxLEFT, 6);
  grid->Add(new wxStaticText(parent, wxID_ANY, "Name:"), 0, wxALIGN_CENTER_VERTICAL);
  grid->Add(name_, 1, wxEXPAND);
  grid->Add(new wxStaticText(parent, wxID_ANY, "Kind:"), 0, wxALIGN_CENTER_VERTICAL);
  grid->Add(kind_);
  grid->Add(new wxStaticText(parent, wxID_ANY, "Time limit:"), 0, wxALIGN_CENTER_VERTICAL);
  grid->Add(limitRow);
  grid->AddSpacer(0);
  grid->Add(alsoWhenOk_);
  BuildTiming(parent, grid);
  return grid;
}

void AlertChannelsDialog::BuildTiming(wxWindow* parent, wxFlexGridSizer* grid) {
  quietHours_ = new wxTextCtrl(parent, wxID_ANY);
  quietHours_->SetHint("none; e.g. Sun-Thu 22:00-07:00; Sat 00:00-24:00");
  quietHours_->SetToolTip(
      "Days and times when this channel is not used, separated by \";\". A time range "
      "past midnight belongs to the day it starts on. Alerts then are logged as held.");
  fields_->text["Quiet hours:"] = quietHours_;
  sendHeldLater_ = new wxCheckBox(parent, wxID_ANY, "Send the held ones when quiet hours end");
  remind_ = new wxCheckBox(parent, wxID_ANY, "Repeat every");
  reminderMinutes_ = new NumberField(parent, wxID_ANY, 1, 7 * 24 * 60);
  mostReminders_ = new NumberField(parent, wxID_ANY, 1, 1000);
  auto* remindRow = new wxBoxSizer(wxHORIZONTAL);
  remindRow->Add(remind_, 0, wxALIGN_CENTER_VERTICAL);
  remindRow->Add(reminderMinutes_, 0, wxLEFT, 4);
  remindRow->Add(new wxStaticText(parent, wxID_ANY, "minutes while the host stays down, at most"),
                 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 4);
  remindRow->Add(mostReminders_, 0, wxLEFT, 4);
  remindRow->Add(new wxStaticText(parent, wxID_ANY, "times"), 0, wxALIGN_CENTER_VERTICAL | wxLEFT,
                 4);
  grid->Add(new wxStaticText(parent, wxID_ANY, "Quiet hours:"), 0, wxALIGN_CENTER_VERTICAL);
  grid->Add(quietHours_, 1, wxEXPAND);
  grid->AddSpacer(0);
  grid->Add(sendHeldLater_);
  grid->Add(new wxStaticText(parent, wxID_ANY, "Reminders:"), 0, wxALIGN_CENTER_VERTICAL);
  grid->Add(remindRow);
  remind_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { EnableReminderFields(); });
}

void AlertChannelsDialog::EnableReminderFields() {
  const bool on = remind_->IsEnabled() && remind_->GetValue();
  reminderMinutes_->Enable(on);
  mostReminders_->Enable(on);
}

void AlertChannelsDialog::BuildPages() {
  struct Row {
    const char* label;
    long style;
  };
  // One page of labelled text fields; fields are found by "Page/Label:". The
  // note on where the secret is kept stands under the secret's field.
  const auto page = [this](const char* name, std::initializer_list<Row> rows, int secretNote) {
    auto* panel = new wxPanel(pages_);
    auto* grid = new wxFlexGridSizer(2, wxSize(8, 6));
    grid->AddGrowableCol(1);
    for (const Row& row : rows) {
      const bool tall = row.style & wxTE_MULTILINE;
      grid->Add(new wxStaticText(panel, wxID_ANY, row.label), 0,
                tall ? wxALIGN_TOP : wxALIGN_CENTER_VERTICAL);
      const wxSize size = tall ? FromDIP(wxSize(340, 64)) : wxDefaultSize;
      auto* field = new wxTextCtrl(panel, wxID_ANY, wxString(), wxDefaultPosition, size, row.style);
      fields_->text[std::string(name) + "/" + row.label] = field;
      grid->Add(field, 1, wxEXPAND);
      if (row.style & wxTE_PASSWORD) {
        grid->AddSpacer(0);
        fields_->secretNote[secretNote] = new wxStaticText(panel, wxID_ANY, wxString());
        grid->Add(fields_->secretNote[secretNote]);
      }
    }
    panel->SetSizer(grid);
    pages_->AddPage(panel, name);
    return std::pair(panel, grid);
  };

  auto [mail, mailGrid] = page("E-mail",
                               {{"Server:", 0},
                                {"Port:", 0},
                                {"User:", 0},
                                {"Password:", wxTE_PASSWORD},
                                {"From:", 0},
                                {"To:", 0},
                                {"Subject:", 0},
                                {"Body:", wxTE_MULTILINE},
                                {"CA file:", 0}},
                               0);
  Field("E-mail/Subject:")->SetHint("empty: {host} is {status}");
  fields_->security = new wxChoice(mail, wxID_ANY);
  for (const char* label : kSecurityLabels) fields_->security->Append(label);
  mailGrid->Insert(4, new wxStaticText(mail, wxID_ANY, "Security:"), 0, wxALIGN_CENTER_VERTICAL);
  mailGrid->Insert(5, fields_->security);
  fields_->security->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
    const int choice = fields_->security->GetSelection();
    if (choice >= 0)
      Field("E-mail/Port:")
          ->ChangeValue(std::to_string(kSecurityPorts.at(static_cast<std::size_t>(choice))));
  });

  auto [hook, hookGrid] = page("Webhook",
                               {{"URL:", 0},
                                {"Content type:", 0},
                                {"Headers:", wxTE_MULTILINE},
                                {"Body:", wxTE_MULTILINE},
                                {"Token:", wxTE_PASSWORD},
                                {"CA file:", 0}},
                               1);
  fields_->preset = new wxChoice(hook, wxID_ANY);
  fields_->preset->Append("(choose a preset to fill the fields)");
  for (const WebhookPreset& preset : WebhookPresets())
    fields_->preset->Append(Wide(std::string(preset.name)));
  fields_->preset->SetSelection(0);
  hookGrid->Insert(0, new wxStaticText(hook, wxID_ANY, "Preset:"), 0, wxALIGN_CENTER_VERTICAL);
  hookGrid->Insert(1, fields_->preset);
  fields_->preset->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { OnPreset(); });
  // Where the chosen preset's URL and token go; shown once one is chosen.
  fields_->presetHint = new wxStaticText(hook, wxID_ANY, wxString());
  fields_->presetHint->Hide();
  hookGrid->Insert(2, 0, 0);
  hookGrid->Insert(3, fields_->presetHint);

  page("Program", {{"Program:", 0}, {"Arguments:", wxTE_MULTILINE}}, -1);
  page("Sound", {{"Sound file:", 0}}, -1);
}

wxTextCtrl* AlertChannelsDialog::Field(const std::string& label) const {
  return fields_->text.at(label);
}

std::string AlertChannelsDialog::SecretOf(const Entry& entry) const {
  if (entry.typedSecret) return *entry.typedSecret;
  return storedSecret_ ? storedSecret_(entry.originalName) : std::string();
}

void AlertChannelsDialog::ShowEntry(int index) {
  shown_ = index;
  const bool any = index >= 0;
  for (wxWindow* window : std::initializer_list<wxWindow*>{
           name_, alsoWhenOk_, timeLimit_, quietHours_, sendHeldLater_, remind_, pages_, test_})
    window->Enable(any);
  testOutcome_->SetLabel(wxString());
  EnableReminderFields();
  if (!any) return;
  const Entry& entry = entries_[static_cast<std::size_t>(index)];
  const AlertChannel& c = entry.channel;
  name_->ChangeValue(Wide(c.name));
  kind_->SetSelection(static_cast<int>(c.kind));
  alsoWhenOk_->SetValue(c.alsoWhenOk);
  timeLimit_->SetValue(c.totalSeconds);
  quietHours_->ChangeValue(Wide(c.quietHours.Text()));
  sendHeldLater_->SetValue(c.sendHeldLater);
  remind_->SetValue(c.reminderMinutes > 0);
  reminderMinutes_->SetValue(c.reminderMinutes > 0 ? c.reminderMinutes : 30);
  mostReminders_->SetValue(c.mostReminders);
  EnableReminderFields();
  pages_->ChangeSelection(static_cast<std::size_t>(c.kind));
  const auto set = [this](const char* label, const std::string& text) {
    Field(label)->ChangeValue(Wide(text));
  };
  set("E-mail/Server:", c.server);
  set("E-mail/Port:", std::to_string(c.port));
  fields_->security->SetSelection(static_cast<int>(c.security));
  set("E-mail/User:", c.user);
  set("E-mail/From:", c.from);
  Field("E-mail/To:")->ChangeValue(Joined(c.recipients, ", "));
  set("E-mail/Subject:", c.subject);
  set("E-mail/Body:", c.body);
  set("E-mail/CA file:", c.caFile);
  set("Webhook/URL:", c.url);
  set("Webhook/Content type:", c.contentType);
  Field("Webhook/Headers:")->ChangeValue(Joined(c.headers, "\n"));
  set("Webhook/Body:", c.body);
  set("Webhook/CA file:", c.caFile);
  set("Program/Program:", c.program);
  Field("Program/Arguments:")->ChangeValue(Joined(c.arguments, "\n"));
  set("Sound/Sound file:", c.soundFile);
  // The secret is never shown: the field stays empty unless typed into.
  const std::string typed = entry.typedSecret.value_or("");
  set("E-mail/Password:", typed);
  set("Webhook/Token:", typed);
  const bool stored = !entry.typedSecret && !SecretOf(entry).empty();
  const wxString note = stored
                            ? "A secret is stored in " + Wide(storeName_) + "; type to replace it."
                            : "Kept in " + Wide(storeName_) + ", never in a settings file.";
  for (wxStaticText* label : fields_->secretNote) label->SetLabel(note);
  pages_->GetCurrentPage()->Layout();
}

bool AlertChannelsDialog::KeepShown() {
  if (shown_ < 0) return true;
  Entry& entry = entries_[static_cast<std::size_t>(shown_)];
  std::vector<AlertChannel> others;
  for (const Entry& each : entries_) others.push_back(each.channel);
  const std::string name = Narrow(name_->GetValue());
  const std::string problem = ChannelNameProblem(name, others, static_cast<std::size_t>(shown_));
  if (!problem.empty()) {
    wxMessageBox("This name cannot be used: " + Wide(problem) + ".", kAppTitle,
                 wxOK | wxICON_EXCLAMATION, this);
    list_->SetSelection(shown_);
    name_->SetFocus();
    return false;
  }
  std::string quietProblem;
  const std::optional<QuietHours> quiet =
      QuietHours::Parse(Narrow(quietHours_->GetValue()), quietProblem);
  if (!quiet) {
    wxMessageBox("These quiet hours cannot be used: " + Wide(quietProblem) + ".", kAppTitle,
                 wxOK | wxICON_EXCLAMATION, this);
    list_->SetSelection(shown_);
    quietHours_->SetFocus();
    return false;
  }
  AlertChannel& c = entry.channel;
  const auto get = [this](const char* label) { return Narrow(Field(label)->GetValue()); };
  c.name = name;
  c.quietHours = *quiet;
  c.sendHeldLater = sendHeldLater_->GetValue();
  c.reminderMinutes = remind_->GetValue() ? reminderMinutes_->GetValue() : 0;
  c.mostReminders = mostReminders_->GetValue();
  c.alsoWhenOk = alsoWhenOk_->GetValue();
  c.totalSeconds = timeLimit_->GetValue();
  c.connectSeconds = std::min(c.connectSeconds, c.totalSeconds);
  const bool mail = c.kind == ChannelKind::Email;
  if (mail) {
    c.server = get("E-mail/Server:");
    long port = 0;
    if (Field("E-mail/Port:")->GetValue().ToLong(&port) && port > 0 && port < 65536)
      c.port = static_cast<std::uint16_t>(port);
    c.security = static_cast<SmtpSecurity>(std::max(0, fields_->security->GetSelection()));
    c.user = get("E-mail/User:");
    c.from = get("E-mail/From:");
    c.recipients = Lines(Field("E-mail/To:")->GetValue(), true);
    c.subject = get("E-mail/Subject:");
    c.body = get("E-mail/Body:");
    c.caFile = get("E-mail/CA file:");
  } else if (c.kind == ChannelKind::Webhook) {
    c.url = get("Webhook/URL:");
    c.contentType = get("Webhook/Content type:");
    c.headers = Lines(Field("Webhook/Headers:")->GetValue(), false);
    c.body = get("Webhook/Body:");
    c.caFile = get("Webhook/CA file:");
  } else if (c.kind == ChannelKind::Program) {
    c.program = get("Program/Program:");
    c.arguments = Lines(Field("Program/Arguments:")->GetValue(), false);
  } else {
    c.soundFile = get("Sound/Sound file:");
  }
  const wxString secret = Field(mail ? "E-mail/Password:" : "Webhook/Token:")->GetValue();
  if (!secret.empty()) entry.typedSecret = Narrow(secret);
  list_->SetString(static_cast<unsigned>(shown_), Wide(c.name));
  return true;
}

bool AlertChannelsDialog::ShowChannel(int index) {
  if (index == shown_) return true;
  if (!KeepShown()) return false;
  list_->SetSelection(index);
  ShowEntry(index);
  return true;
}

void AlertChannelsDialog::AddChannel(ChannelKind kind) {
  if (!KeepShown()) return;
  std::vector<AlertChannel> channels;
  for (const Entry& entry : entries_) channels.push_back(entry.channel);
  const std::string name = UnusedName(channels, kKindLabels[static_cast<std::size_t>(kind)]);
  entries_.push_back({DefaultChannel(kind, name), std::string(), std::nullopt});
  list_->Append(Wide(name));
  list_->SetSelection(static_cast<int>(entries_.size() - 1));
  ShowEntry(static_cast<int>(entries_.size() - 1));
  name_->SetFocus();
  name_->SelectAll();
}

void AlertChannelsDialog::OnAdd() {
  wxMenu kinds;
  for (std::size_t kind = 0; kind < kKindLabels.size(); ++kind)
    kinds.Append(static_cast<int>(kind) + 1, kKindLabels[kind]);
  const int chosen = GetPopupMenuSelectionFromUser(kinds);
  if (chosen > 0) AddChannel(static_cast<ChannelKind>(chosen - 1));
}

void AlertChannelsDialog::OnRemove() {
  if (shown_ < 0) return;
  const auto index = static_cast<std::size_t>(shown_);
  if (!entries_[index].originalName.empty()) removed_.push_back(entries_[index].originalName);
  entries_.erase(entries_.begin() + shown_);
  list_->Delete(static_cast<unsigned>(index));
  shown_ = -1;
  const int next = std::min(static_cast<int>(index), static_cast<int>(entries_.size()) - 1);
  if (next >= 0) list_->SetSelection(next);
  ShowEntry(next);
}

void AlertChannelsDialog::OnPreset() {
  const int chosen = fields_->preset->GetSelection();
  if (chosen <= 0) return;
  const WebhookPreset& preset = WebhookPresets()[static_cast<std::size_t>(chosen - 1)];
  Field("Webhook/Content type:")->ChangeValue(Wide(std::string(preset.contentType)));
  Field("Webhook/Body:")->ChangeValue(Wide(std::string(preset.body)));
  Field("Webhook/Headers:")
      ->ChangeValue(Joined({preset.headers.begin(), preset.headers.end()}, "\n"));
  fields_->presetHint->SetLabel(Wide(std::string(preset.hint)));
  fields_->presetHint->Wrap(FromDIP(340));
  fields_->presetHint->Show(!preset.hint.empty());
  pages_->GetCurrentPage()->Layout();
  fields_->preset->SetSelection(0);
}

void AlertChannelsDialog::SendTest() {
  if (!KeepShown() || shown_ < 0 || !sendTest_) return;
  const Entry& entry = entries_[static_cast<std::size_t>(shown_)];
  testOutcome_->SetLabel("Sending...");
  test_->Disable();
  std::weak_ptr<AlertChannelsDialog*> alive = self_;
  sendTest_(entry.channel, SecretOf(entry), [alive](const AttemptResult& result) {
    wxTheApp->CallAfter([alive, result] {
      const auto self = alive.lock();
      if (!self || !*self) return;
      const bool sent = result.outcome == AttemptOutcome::Sent;
      (*self)->testOutcome_->SetLabel(Wide((sent ? "Sent: " : "Not sent: ") + result.text));
      (*self)->test_->Enable();
      (*self)->Layout();
    });
  });
}

bool AlertChannelsDialog::Accept() {
  if (!KeepShown()) return false;
  result_ = {};
  for (const Entry& entry : entries_) {
    result_.channels.push_back(entry.channel);
    const std::string& now = entry.channel.name;
    if (!entry.originalName.empty() && entry.originalName != now)
      result_.renamed[entry.originalName] = now;
    // A renamed channel takes its stored secret along.
    if (entry.typedSecret || (!entry.originalName.empty() && entry.originalName != now))
      result_.secrets[now] = SecretOf(entry);
  }
  result_.removed = removed_;
  for (const auto& [from, to] : result_.renamed) result_.removed.push_back(from);
  return true;
}

}  // namespace kelvoran
