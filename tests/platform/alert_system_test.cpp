// The alert channels' system side on real processes and files: the program
// channel runs tests/platform/alert_test_program.cpp, on Linux and under
// Wine alike.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "delivery/program_sender.h"
#include "delivery/sound_sender.h"
#include "platform/secret_store.h"
#include "tests/settings/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelvoran {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testing::ReadFile;

std::string Utf8Path(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The test program lies beside this one.
std::string TestProgram() {
#ifdef _WIN32
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return Utf8Path(fs::path(self).parent_path() / "alert_test_program.exe");
#else
  return Utf8Path(fs::read_symlink("/proc/self/exe").parent_path() / "alert_test_program");
#endif
}

// The fields the test program recorded: its arguments (A), KELVORAN_HOST (E)
// and how many descriptors beyond 0-2 it was given (F).
std::vector<std::pair<char, std::string>> Recorded(const std::string& text) {
  std::vector<std::pair<char, std::string>> fields;
  std::size_t at = 0;
  while (at < text.size()) {
    const char tag = text[at];
    const std::size_t colon = text.find(':', at);
    const std::size_t length = std::stoul(text.substr(at + 1, colon - at - 1));
    fields.emplace_back(tag, text.substr(colon + 1, length));
    at = colon + 1 + length + 1;
  }
  return fields;
}

AlertChannel ProgramChannel(std::vector<std::string> arguments, std::int32_t seconds = 20) {
  AlertChannel channel;
  channel.kind = ChannelKind::Program;
  channel.program = TestProgram();
  channel.arguments = std::move(arguments);
  channel.totalSeconds = seconds;
  return channel;
}

AlertEvent EventFor(std::string host) {
  AlertEvent event;
  event.host = std::move(host);
  return event;
}

TEST(AlertProgram, HostileHostNameArrivesAsOneArgumentAndInTheEnvironment) {
  const testing::TempDir scratch;
#ifndef _WIN32
  // A descriptor opened without O_CLOEXEC, as libraries still do: it must
  // not reach the program.
  const int stray = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(stray, 0);
#endif
  const std::string names[] = {
      "quote\"d 'single'", "a; rm -rf /", "$(touch pwned)",  "`id`",      "line\nbreak",
      " spaced  out ",     "trailing\\",  "slash\\\" quote", "tab\there", "m\xc3\xbcnchen.example",
      "100%25 %PATH% !x!", "*?<>|&^"};
  for (const std::string& host : names) {
    SCOPED_TRACE(host);
    const std::string record = Utf8Path(scratch.path() / "record.txt");
    const AttemptResult result =
        ProgramSender().Send(ProgramChannel({"record", record, "{host}"}), EventFor(host), "");
    EXPECT_EQ(result.outcome, AttemptOutcome::Sent);
    EXPECT_EQ(result.text, "exit status 0");
    const std::vector<std::pair<char, std::string>> expected = {
        {'A', "record"}, {'A', record}, {'A', host}, {'E', host}, {'F', "0"}};
    EXPECT_EQ(Recorded(ReadFile(fs::u8path(record))), expected);
  }
#ifndef _WIN32
  ::close(stray);
#endif
}

// Runs at once, each with its own exit status to report.
TEST(AlertProgram, ExitStatusDecidesTheOutcomeOfEachOfConcurrentRuns) {
  const int statuses[] = {0, 3, 255, 10, 11, 12};
  std::vector<AttemptResult> results(std::size(statuses));
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&results, &statuses, i] {
      results[i] =
          ProgramSender().Send(ProgramChannel({"exit", std::to_string(statuses[i])}), {}, "");
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t i = 0; i < results.size(); ++i) {
    const bool sent = statuses[i] == 0;
    EXPECT_EQ(results[i].outcome, sent ? AttemptOutcome::Sent : AttemptOutcome::Failed);
    std::string text = "exit status " + std::to_string(statuses[i]);
#ifndef _WIN32
    if (!sent) text += ": complaint";  // the first line of its standard error
#endif
    EXPECT_EQ(results[i].text, text);
  }
}

bool ProcessGone(unsigned long pid) {
#ifdef _WIN32
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return true;
  const bool ended = WaitForSingleObject(process, 2000) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
#else
  // Ended: gone, or a zombie waiting for whoever inherited it to reap it.
  for (int i = 0; i < 20; ++i) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return true;
    if (text.substr(text.rfind(')') + 2, 1) == "Z") return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
#endif
}

TEST(AlertProgram, ProgramPastTheLimitIsEndedWithWhatItStarted) {
  const testing::TempDir scratch;
  const fs::path pidFile = scratch.path() / "child.pid";
  constexpr std::int32_t kLimit = 3;
  const auto start = Clock::now();
  const AttemptResult result =
      ProgramSender().Send(ProgramChannel({"linger", Utf8Path(pidFile)}, kLimit), {}, "");
  const auto took = Clock::now() - start;
  EXPECT_EQ(result.outcome, AttemptOutcome::TimedOut);
  EXPECT_EQ(result.text, "still running after 3 s; ended");
  EXPECT_LT(took, std::chrono::seconds(kLimit + 2));
  // The child ignores SIGTERM on Linux: SIGKILL must have followed.
  const std::string pid = ReadFile(pidFile);
  ASSERT_FALSE(pid.empty() || pid == "0") << "the program did not start its child";
  EXPECT_TRUE(ProcessGone(std::stoul(pid))) << "child " << pid << " still runs";
}

TEST(AlertProgram, ProgramThatCannotStartIsRejected) {
  const testing::TempDir scratch;
  const std::string missing = Utf8Path(scratch.path() / "no-such-program");
  AlertChannel channel = ProgramChannel({});
  channel.program = missing;
  const AttemptResult result = ProgramSender().Send(channel, {}, "");
  EXPECT_EQ(result.outcome, AttemptOutcome::Rejected);
  EXPECT_EQ(result.text, "Cannot start \"" + missing + "\": not found");
#ifndef _WIN32
  const std::string plain = Utf8Path(scratch.path() / "not-executable");
  std::ofstream(plain) << "#!/bin/sh\n";
  channel.program = plain;
  const AttemptResult refused = ProgramSender().Send(channel, {}, "");
  EXPECT_EQ(refused.outcome, AttemptOutcome::Rejected);
  EXPECT_EQ(refused.text, "Cannot start \"" + plain + "\": not executable (permission denied)");
#endif
}

TEST(AlertSound, MissingFileIsRejectedWithItsName) {
  const testing::TempDir scratch;
  AlertChannel channel;
  channel.kind = ChannelKind::Sound;
  channel.soundFile = Utf8Path(scratch.path() / "no-such-sound.wav");
  const AttemptResult result = SoundSender().Send(channel, {}, "");
  EXPECT_EQ(result.outcome, AttemptOutcome::Rejected);
  EXPECT_EQ(result.text.rfind("Cannot play \"" + channel.soundFile + "\": ", 0), 0u) << result.text;
}

#ifndef _WIN32
// A sound of 0.3 s: a 440 Hz tone, as a WAV file of 8 kHz 16-bit samples.
void WriteTone(const fs::path& path) {
  constexpr std::uint32_t rate = 8000, samples = rate * 3 / 10;
  std::ofstream out(path, std::ios::binary);
  const auto put = [&out](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xff));
  };
  out << "RIFF";
  put(36 + 2 * samples, 4);
  out << "WAVEfmt ";
  for (const auto& [value, bytes] :
       {std::pair(16u, 4), {1u, 2}, {1u, 2}, {rate, 4}, {2 * rate, 4}, {2u, 2}, {16u, 2}})
    put(value, bytes);
  out << "data";
  put(2 * samples, 4);
  for (std::uint32_t i = 0; i < samples; ++i)
    put(static_cast<std::uint16_t>(
            static_cast<std::int16_t>(12000 * std::sin(2 * 3.14159265 * 440 * i / rate))),
        2);
}

// Whether the recording of the sound server's sink, past `from` bytes, comes
// to hold anything but silence within three seconds.
bool SoundRecordedSince(const std::string& recording, std::uintmax_t from) {
  for (int wait = 0; wait < 30; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::ifstream in(recording, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(from));
    for (char byte; in.get(byte);)
      if (byte != 0) return true;
  }
  return false;
}

// The desktop's own alert sound and a sound file both reach the sound
// server: the sink's recording is no longer silent once each has played.
TEST(AlertSound, PlaysIntoTheSoundServer) {
  const char* recording = std::getenv("KELVORAN_TEST_RECORDING");
  if (recording == nullptr) GTEST_SKIP() << "needs tests/platform/with-sound-server";
  const testing::TempDir scratch;
  const fs::path tone = scratch.path() / "tone.wav";
  WriteTone(tone);
  for (const std::string& file : {std::string(), Utf8Path(tone)}) {
    SCOPED_TRACE(file.empty() ? "the desktop's sound" : file);
    const std::uintmax_t before = fs::file_size(recording);
    AlertChannel channel;
    channel.kind = ChannelKind::Sound;
    channel.soundFile = file;
    const AttemptResult result = SoundSender().Send(channel, {}, "");
    EXPECT_EQ(result.outcome, AttemptOutcome::Sent) << result.text;
    EXPECT_TRUE(SoundRecordedSince(recording, before));
    // What trails of this sound is recorded before the next one starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
}
#endif

TEST(SecretFile, RoundTripKeepsAnyBytesAndNoSecretInClear) {
  const testing::TempDir scratch;
  const fs::path path = scratch.path() / "secrets";
  const std::unique_ptr<SecretStore> store = OpenSecretFile(Utf8Path(path));
  EXPECT_EQ(store->Where(), Utf8Path(path));
  const std::pair<std::string, std::string> entries[] = {
      {"mail", "pa=ss word"},
      {"name=with=equals", std::string("line\nbreak\0nul\xff", 16)},
      {"#hash %25 line\nbreak", "\r\n"},
      {"empty", ""},
  };
  std::string error;
  for (const auto& [channel, secret] : entries)
    ASSERT_TRUE(store->Write(channel, secret, error)) << error;
  for (const auto& [channel, secret] : entries) EXPECT_EQ(store->Read(channel), secret) << channel;
  EXPECT_EQ(ReadFile(path).find("pa=ss"), std::string::npos);

  ASSERT_TRUE(store->Write("mail", "replaced", error)) << error;
  EXPECT_EQ(store->Read("mail"), "replaced");
  store->Erase("name=with=equals");
  EXPECT_EQ(store->Read("name=with=equals"), std::nullopt);
  EXPECT_EQ(store->Read("mail"), "replaced");
  EXPECT_EQ(store->Read("missing"), std::nullopt);

  // A line that reads as no entry (a hand edit) survives the next write.
  std::ofstream(path, std::ios::app) << "not an entry\n";
  ASSERT_TRUE(store->Write("webhook", "token", error)) << error;
  EXPECT_NE(ReadFile(path).find("\nnot an entry\n"), std::string::npos);
  EXPECT_EQ(OpenSecretFile(Utf8Path(path))->Read("webhook"), "token");
}

#ifndef _WIN32
TEST(SecretFile, OnlyItsOwnerMayReadIt) {
  const testing::TempDir scratch;
  const fs::path path = scratch.path() / "secrets";
  const std::unique_ptr<SecretStore> store = OpenSecretFile(path.string());
  // Created 0600 whatever the umask lets through.
  const mode_t oldMask = ::umask(0);
  std::string error;
  const bool written = store->Write("mail", "secret", error);
  ::umask(oldMask);
  ASSERT_TRUE(written) << error;
  EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(store->Write("mail", "again", error)) << error;
  EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);

  // Made readable by others: refused, with what to do about it.
  fs::permissions(path, fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
  EXPECT_EQ(store->Read("mail"), std::nullopt);
  EXPECT_FALSE(store->Write("mail", "more", error));
  EXPECT_NE(error.find("chmod 600"), std::string::npos) << error;
}
#endif

}  // namespace
}  // namespace kelvoran
