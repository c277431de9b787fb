// A messenger library for the loader test: delivers to "ops" and reports the
// buffer length back as the status for every other name.
#include <cstdint>

extern "C" std::uint32_t NetMessageBufferSend(const char16_t* server, const char16_t* messageName,
                                              const char16_t* fromName, const std::uint8_t* buffer,
                                              std::uint32_t bufferLength) {
  if (server || fromName || !buffer) return 87;
  const char16_t ops[] = u"ops";
  for (int i = 0; i < 4; ++i) {
    if (messageName[i] != ops[i]) return bufferLength;
  }
  return 0;
}
