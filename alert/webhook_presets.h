#pragma once

#include <span>
#include <string>
#include <vector>

namespace kelvoran {

// A starting point for a webhook channel: the body and headers that a kind of
// receiver takes. Presets only fill the fields; the channel stays one
// templated POST whatever receives it.
struct WebhookPreset {
  const char* name;
  const char* contentType;
  std::string body;
  std::vector<std::string> headers;
};

std::span<const WebhookPreset> WebhookPresets();

}  // namespace kelvoran
