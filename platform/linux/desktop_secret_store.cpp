// Channel secrets in the desktop's Secret Service (GNOME Keyring, KWallet's
// Secret Service, KeePassXC) through libsecret, in the default collection,
// one item per channel under the schema "org.kelvoran.AlertChannel".
#include <libsecret/secret.h>

#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>

#include "platform/secret_store.h"

namespace kelvoran {
namespace {

// The service may answer a store with an unlock prompt that nobody answers,
// or hang; the dispatcher's threads must not wait for ever.
constexpr std::chrono::seconds kLongestSecretCall{30};

const SecretSchema* ChannelSchema() {
  static const SecretSchema schema = {
      "org.kelvoran.AlertChannel",
      SECRET_SCHEMA_NONE,
      {{"channel", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
      0,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr};
  return &schema;
}

// A GCancellable cancelled when kLongestSecretCall has passed, for one
// synchronous libsecret call.
class BoundedCall {
 public:
  BoundedCall()
      : cancellable_(g_cancellable_new()), timer_([this](std::stop_token stop) { Expire(stop); }) {}
  BoundedCall(const BoundedCall&) = delete;
  BoundedCall& operator=(const BoundedCall&) = delete;
  ~BoundedCall() {
    timer_.request_stop();
    timer_.join();
    g_object_unref(cancellable_);
  }
  GCancellable* cancellable() const { return cancellable_; }

 private:
  void Expire(std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any stopped;
    std::unique_lock lock(mutex);
    stopped.wait_for(lock, stop, kLongestSecretCall, [] { return false; });
    if (!stop.stop_requested()) g_cancellable_cancel(cancellable_);
  }

  GCancellable* cancellable_;
  std::jthread timer_;
};

// Takes the GError's message and frees it.
std::string TakeMessage(GError* error) {
  std::string message = error != nullptr ? error->message : "unknown error";
  if (error != nullptr) g_error_free(error);
  return message;
}

class DesktopSecretStore final : public SecretStore {
 public:
  std::string Where() const override { return "the desktop's secret store"; }

  std::optional<std::string> Read(const std::string& channel) override {
    const BoundedCall call;
    SecretValue* value = secret_password_lookup_binary_sync(
        ChannelSchema(), call.cancellable(), nullptr, "channel", channel.c_str(), nullptr);
    if (value == nullptr) return std::nullopt;
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    std::string secret(bytes, length);
    secret_value_unref(value);
    return secret;
  }

  bool Write(const std::string& channel, const std::string& secret, std::string& error) override {
    const std::string label = "Kelvoran alert channel " + channel;
    SecretValue* value =
        secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "text/plain");
    const BoundedCall call;
    GError* failure = nullptr;
    const gboolean stored = secret_password_store_binary_sync(
        ChannelSchema(), SECRET_COLLECTION_DEFAULT, label.c_str(), value, call.cancellable(),
        &failure, "channel", channel.c_str(), nullptr);
    secret_value_unref(value);
    if (stored) return true;
    error = "Cannot store the secret in the desktop's secret store: " + TakeMessage(failure);
    return false;
  }

  void Erase(const std::string& channel) override {
    const BoundedCall call;
    secret_password_clear_sync(ChannelSchema(), call.cancellable(), nullptr, "channel",
                               channel.c_str(), nullptr);
  }
};

}  // namespace

std::unique_ptr<SecretStore> OpenDesktopSecretStore(std::string& why) {
  // Opening a session asks the service itself, so a bus on which nobody owns
  // (or can be started as) org.freedesktop.secrets fails here, not later.
  const BoundedCall call;
  GError* failure = nullptr;
  SecretService* service =
      secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, call.cancellable(), &failure);
  if (service == nullptr) {
    why = "No desktop secret store (Secret Service) answers: " + TakeMessage(failure);
    return nullptr;
  }
  g_object_unref(service);
  return std::make_unique<DesktopSecretStore>();
}

}  // namespace kelvoran
