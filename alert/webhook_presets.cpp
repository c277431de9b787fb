#include "alert/webhook_presets.h"

namespace kelvoran {

std::span<const WebhookPreset> WebhookPresets() {
  static const WebhookPreset presets[] = {
      {"Generic JSON",
       "application/json",
       R"({"event": "{event}", "host": "{host}", "description": "{description}", )"
       R"("status": "{status}", "previous_status": "{previous_status}", "error": "{error}", )"
       R"("outage_start": "{outage_start}", "duration": {duration}, "loss": {loss}, )"
       R"("time": "{time}", "computer": "{computer}"})",
       {}},
      {"Chat (Slack-style incoming webhook)",
       "application/json",
       R"({"text": "{host} ({description}) is {status}: {error}"})",
       {}},
      {"Teams workflow",
       "application/json",
       R"({"text": "{host} ({description}) is {status}: {error}"})",
       {}},
      {"Discord",
       "application/json",
       R"({"content": "{host} ({description}) is {status}: {error}"})",
       {}},
      {"ntfy",
       "text/plain",
       "{host} ({description}) is {status}: {error}",
       {"Title: {host} is {status}", "Tags: warning", "Authorization: Bearer {secret}"}},
      {"Gotify",
       "application/json",
       R"({"title": "{host} is {status}", "message": "{description}: {error}", "priority": 8})",
       {"X-Gotify-Key: {secret}"}},
  };
  return presets;
}

}  // namespace kelvoran
