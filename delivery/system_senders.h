#pragma once

#include "alert/alert_dispatcher.h"
#include "delivery/email_sender.h"
#include "delivery/program_sender.h"
#include "delivery/sound_sender.h"
#include "delivery/webhook_sender.h"

namespace kelvoran {

// One sender of each kind, as the program delivers alerts.
struct SystemSenders {
  EmailSender email;
  WebhookSender webhook;
  ProgramSender program;
  SoundSender sound;

  ChannelSenders Pointers() { return {&email, &webhook, &program, &sound}; }
};

}  // namespace kelvoran
