// A messenger library for the loader test: delivers to "ops" and reports the
// buffer length back as the status for every other name.
#include <cstdint>

#ifdef _WIN32
#define MESSENGER_ENTRY __declspec(dllexport) std::uint32_t __stdcall
#else
#define MESSENGER_ENTRY std::uint32_t
#endif

extern "C" MESSENGER_ENTRY NetMessageBufferSend(const char16_t* server, const char16_t* messageName,
                                                const char16_t* fromName,
                                                const std::uint8_t* buffer,
                                                std::uint32_t bufferLength) {
  if (server || fromName || !buffer) return 87;
  const char16_t ops[] = u"ops";
  for (int i = 0; i < 4; ++i) {
    if (messageName[i] != ops[i]) return bufferLength;
  }
  return 0;
}
