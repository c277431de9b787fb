#include "alert/webhook_presets.h"

#include <algorithm>
#include <array>

namespace kelvoran {
namespace {

// Bodies are templates: values are JSON-escaped for a JSON content type, so
// each placeholder sits inside a JSON string, except those always numbers.
constexpr std::string_view GenericJson =
    R"j({"event": "{event}", "host": "{host}", "description": "{description}", )j"
    R"j("status": "{status}", "previous_status": "{previous_status}", "error": "{error}", )j"
    R"j("outage_start": "{outage_start}", "duration": {duration}, "rtt": "{rtt}", )j"
    R"j("loss": {loss}, "time": "{time}", "computer": "{computer}"})j";

constexpr std::array<std::string_view, 3> NtfyHeaders = {
    "Title: {host} is {status}", "Priority: high", "Tags: kelvoran,{event}"};
constexpr std::array<std::string_view, 1> GotifyHeaders = {"X-Gotify-Key: {secret}"};

constexpr std::array<WebhookPreset, 6> Presets{{
    {"generic",
     "Generic JSON",
     "application/json",
     GenericJson,
     {},
     "POSTs every field of the alert as a JSON object."},
    {"slack",
     "Slack-style incoming webhook",
     "application/json",
     R"j({"text": "{host} ({description}) is {status}, was {previous_status}. {error} ({time})"})j",
     {},
     "The incoming webhook's URL holds its token: store the URL's secret part as the secret "
     "and write {secret} in its place."},
    {"teams",
     "Teams workflow",
     "application/json",
     R"j({"title": "{host} is {status}", )j"
     R"j("text": "{host} ({description}) is {status}, was {previous_status}. {error} ({time})"})j",
     {},
     "The workflow's HTTP request URL; its signature can be stored as the secret."},
    {"discord",
     "Discord",
     "application/json",
     R"j({"content": "{host} ({description}) is {status}, was {previous_status}. {error} ({time})"})j",
     {},
     "The channel webhook's URL: https://<server>/api/webhooks/<id>/{secret}."},
    {"ntfy", "ntfy", "text/plain",
     "{host} ({description}) is {status}, was {previous_status}. {error} ({time})", NtfyHeaders,
     "https://<server>/<topic>; for an access token add the header "
     "\"Authorization: Bearer {secret}\"."},
    {"gotify", "Gotify", "application/json",
     R"j({"title": "{host} is {status}", )j"
     R"j("message": "{host} ({description}) is {status}, was {previous_status}. {error} ({time})", )j"
     R"j("priority": 8})j",
     GotifyHeaders,
     "https://<server>/message; the application token is the secret, sent in X-Gotify-Key "
     "(or write ?token={secret} in the URL and drop the header)."},
}};

}  // namespace

std::span<const WebhookPreset> WebhookPresets() { return Presets; }

const WebhookPreset* FindWebhookPreset(std::string_view id) {
  const auto found = std::find_if(Presets.begin(), Presets.end(),
                                  [id](const WebhookPreset& preset) { return preset.id == id; });
  return found == Presets.end() ? nullptr : &*found;
}

}  // namespace kelvoran
