// Alert sounds on Linux through libcanberra: the freedesktop sound theme's
// event sounds or a file, played by whatever the desktop has (PulseAudio,
// PipeWire's Pulse server, ALSA).
#include "platform/system_sound.h"

#include <canberra.h>

#include <condition_variable>
#include <mutex>
#include <utility>

namespace kelvoran {
namespace {

// One sound's end, told by libcanberra's own thread through the finish
// callback.
struct Finish {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  int result = CA_SUCCESS;
};

void OnFinished(ca_context*, std::uint32_t, int result, void* data) {
  auto* finish = static_cast<Finish*>(data);
  const std::lock_guard lock(finish->mutex);
  finish->done = true;
  finish->result = result;
  finish->finished.notify_all();
}

// Owns a context and a property list; destroying the context first makes
// libcanberra call back any pending finish before the Finish goes.
class Playback {
 public:
  Playback() {
    ca_context_create(&context_);
    ca_proplist_create(&properties_);
  }
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;
  ~Playback() {
    if (context_ != nullptr) ca_context_destroy(context_);
    if (properties_ != nullptr) ca_proplist_destroy(properties_);
  }

  // Plays the sound the property names and waits for its end, at most
  // kLongestAlertSound; returns a libcanberra result code.
  int Play(const char* property, const std::string& value) {
    if (context_ == nullptr || properties_ == nullptr) return CA_ERROR_OOM;
    ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, "Kelvoran", nullptr);
    ca_proplist_sets(properties_, CA_PROP_EVENT_DESCRIPTION, "Host alert");
    ca_proplist_sets(properties_, property, value.c_str());
    Finish finish;
    constexpr std::uint32_t kId = 1;
    if (const int started = ca_context_play_full(context_, kId, properties_, OnFinished, &finish);
        started != CA_SUCCESS)
      return started;
    std::unique_lock lock(finish.mutex);
    if (finish.finished.wait_for(lock, kLongestAlertSound, [&] { return finish.done; }))
      return finish.result;
    lock.unlock();
    ca_context_cancel(context_, kId);
    ca_context_destroy(std::exchange(context_, nullptr));
    return CA_ERROR_CANCELED;
  }

 private:
  ca_context* context_ = nullptr;
  ca_proplist* properties_ = nullptr;
};

std::string ResultText(int result) {
  if (result == CA_SUCCESS) return {};
  if (result == CA_ERROR_CANCELED) return "still playing after the wait; stopped";
  return ca_strerror(result);
}

}  // namespace

std::string PlayDesktopAlertSound() {
  // The sound theme's warning sound, or its plain bell where a theme has no
  // warning sound.
  int result = Playback().Play(CA_PROP_EVENT_ID, "dialog-warning");
  if (result == CA_ERROR_NOTFOUND) result = Playback().Play(CA_PROP_EVENT_ID, "bell");
  const std::string problem = ResultText(result);
  return problem.empty() ? problem : "Cannot play the desktop's alert sound: " + problem;
}

std::string PlaySoundFile(const std::string& file) {
  const std::string problem = ResultText(Playback().Play(CA_PROP_MEDIA_FILENAME, file));
  return problem.empty() ? problem : "Cannot play \"" + file + "\": " + problem;
}

}  // namespace kelvoran
