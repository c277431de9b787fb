// The writer the crash test kills: "settings_writer FILE ROUND" saves the
// round's ten hosts into FILE over and over and, after every save that
// returned success, prints "HOST PASS" on a line of its own. Never ends by
// itself unless a save fails (exit 2) or its output goes (exit 3).
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "engine/host_record.h"
#include "engine/host_settings.h"

int main(int argc, char** argv) {
  if (argc != 3) return 1;
  const std::string file = argv[1];
  const std::string round = argv[2];
  for (long pass = 0;; ++pass) {
    for (int host = 0; host < 10; ++host) {
      kelvoran::HostRecord record;
      record.Host = "r" + round + "h" + std::to_string(host);
      record.PacketSize = 64;
      record.Description = "pass " + std::to_string(pass);
      if (!kelvoran::SaveHostSettings(record, record.Host, file).ok()) return 2;
      if (std::printf("%d %ld\n", host, pass) < 0 || std::fflush(stdout) != 0) return 3;
      // A breath between saves, as between a person's edits: without it two
      // writers at once would each wait on the other's save for ever.
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  }
}
