#pragma once

#include <span>
#include <string_view>

namespace kelvoran {

// A starting point for a webhook channel: the content type, body template
// and header lines a kind of receiver expects. Choosing one fills the
// channel's fields, which stay editable: there is one templated webhook
// channel, not a sender per service.
struct WebhookPreset {
  std::string_view id;
  std::string_view name;
  std::string_view contentType;
  std::string_view body;
  std::span<const std::string_view> headers;
  // Where the receiver's URL and token go, for the settings dialog.
  std::string_view hint;
};

std::span<const WebhookPreset> WebhookPresets();

// The preset with the given id, or null.
const WebhookPreset* FindWebhookPreset(std::string_view id);

}  // namespace kelvoran
