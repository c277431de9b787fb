// Alert sounds on Windows through PlaySoundW: the sound the user chose for
// "Exclamation" in the sound settings, or a WAVE file.
#include "platform/system_sound.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <future>

#include "platform/windows/code_page.h"

namespace kelvoran {
namespace {

// Plays synchronously on a thread of its own, so that a long file is stopped
// (PlaySound with no sound stops the process's sound) after the longest wait.
bool PlayBounded(const std::wstring& sound, DWORD flags) {
  auto played = std::async(std::launch::async, [&] {
    return PlaySoundW(sound.c_str(), nullptr, flags | SND_SYNC | SND_NODEFAULT) != FALSE;
  });
  if (played.wait_for(kLongestAlertSound) == std::future_status::timeout)
    PlaySoundW(nullptr, nullptr, 0);
  return played.get();
}

}  // namespace

std::string PlayDesktopAlertSound() {
  if (PlayBounded(L"SystemExclamation", SND_ALIAS)) return {};
  // No sound set for the alias: the plain exclamation beep.
  if (MessageBeep(MB_ICONEXCLAMATION)) return {};
  return "Cannot play the desktop's alert sound: " + SystemErrorText(GetLastError());
}

std::string PlaySoundFile(const std::string& file) {
  if (PlayBounded(WideFromCodePage(CP_UTF8, file), SND_FILENAME)) return {};
  return "Cannot play \"" + file + "\": not a sound Windows can play, or no sound device";
}

}  // namespace kelvoran
