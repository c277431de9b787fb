// Alert programs on Linux: posix_spawn(3) without a shell, in a process group
// of their own so that a time limit ends what they started too, waited for
// through a pidfd so that the wait sleeps in poll(2) instead of spinning.
#include "platform/program_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <string_view>
#include <system_error>
#include <utility>

extern char** environ;

namespace kelvoran {
namespace {

using Clock = std::chrono::steady_clock;
using Environment = std::vector<std::pair<std::string, std::string>>;

// Time a program gets to end after SIGTERM before SIGKILL ends it.
constexpr std::chrono::seconds kGraceAfterTerm{1};
// How much of its standard error is kept for the first line.
constexpr std::size_t kKeptErrorBytes = 4096;
constexpr std::size_t kLongestErrorLine = 200;

std::string ErrnoText(int error) { return std::generic_category().message(error); }

// Closes the descriptor when the scope ends.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Reset(); }
  int get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// The process's own environment without the alert's names, then the alert's
// variables: a program sees each name once, with the alert's value.
std::vector<std::string> MergedEnvironment(const Environment& added) {
  std::set<std::string, std::less<>> names;
  for (const auto& [name, value] : added) names.insert(name);
  std::vector<std::string> merged;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (!names.contains(text.substr(0, text.find('=')))) merged.emplace_back(text);
  }
  for (const auto& [name, value] : added) merged.push_back(name + "=" + value);
  return merged;
}

std::vector<char*> NullTerminated(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  pointers.reserve(texts.size() + 1);
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// What the child gets: /dev/null for input and output, our pipe for its
// standard error, and no other descriptor of ours, whether or not whoever
// opened it asked for close-on-exec.
class SpawnActions {
 public:
  explicit SpawnActions(int errorPipe) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions_, errorPipe, STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
  }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// A process group of its own, every signal at its default (the monitor may
// ignore SIGPIPE) and none blocked.
class SpawnAttributes {
 public:
  SpawnAttributes() {
    posix_spawnattr_init(&attributes_);
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes_, &all);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setpgroup(&attributes_, 0);
    posix_spawnattr_setflags(
        &attributes_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

std::string StartFailure(const std::string& program, int error) {
  const char* what = error == ENOENT    ? "not found"
                     : error == EACCES  ? "not executable (permission denied)"
                     : error == ENOEXEC ? "not an executable file"
                                        : nullptr;
  return "Cannot start \"" + program + "\": " + (what != nullptr ? what : ErrnoText(error));
}

// The first non-empty line of what the program wrote to its standard error,
// shortened for the log.
std::string FirstLine(std::string_view text) {
  const auto start = text.find_first_not_of("\r\n");
  if (start == std::string_view::npos) return {};
  text.remove_prefix(start);
  text = text.substr(0, std::min(text.find_first_of("\r\n"), kLongestErrorLine));
  return std::string(text);
}

// The running program: its pid (and pidfd where the kernel has them) and the
// read end of its standard error.
class Child {
 public:
  Child(pid_t pid, int errorPipe) : pid_(pid), errorPipe_(errorPipe) {
    // pidfd_open(2) came with Linux 5.3; before it, poll(2) wakes on a short
    // timer and waitpid(2) checks.
    pidfd_.Reset(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  }

  // Waits until the program exits or the deadline passes; true when it
  // exited (not yet reaped: its process group stays ours to signal).
  bool WaitForExit(Clock::time_point deadline) {
    for (;;) {
      if (HasExited()) return true;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      const auto step = pidfd_.get() >= 0 ? left : std::min(left, std::chrono::milliseconds(20));
      // poll(2) skips a negative descriptor: a pipe at its end is left out,
      // or its endless POLLHUP would spin the loop.
      pollfd watched[2] = {{errorPipe_.get(), POLLIN, 0}, {pidfd_.get(), POLLIN, 0}};
      const int ready =
          ::poll(watched, 2, static_cast<int>(std::min<std::int64_t>(step.count(), 60'000)));
      if (ready > 0 && watched[0].revents != 0) DrainErrors();
    }
  }

  // SIGTERM to the whole group, a grace second, then SIGKILL to whatever of
  // it is left. The leader is not reaped before, so the group id cannot have
  // been reused.
  void EndGroup() {
    ::kill(-pid_, SIGTERM);
    WaitForExit(Clock::now() + kGraceAfterTerm);
    ::kill(-pid_, SIGKILL);
  }

  // Reaps the program and says how it ended.
  ProgramOutcome Reap() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    DrainErrors();
    ProgramOutcome outcome;
    if (WIFEXITED(status)) {
      outcome.exitStatus = WEXITSTATUS(status);
      outcome.error = FirstLine(errors_);
    } else if (WIFSIGNALED(status)) {
      outcome.error = "ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
                      ::strsignal(WTERMSIG(status)) + ")";
    }
    return outcome;
  }

 private:
  // waitid(2) with WNOWAIT looks without reaping.
  bool HasExited() {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid_;
  }

  // Reads what is there without blocking; past the kept part it is read and
  // dropped, so that a talkative program never blocks on a full pipe.
  void DrainErrors() {
    char buffer[4096];
    while (errorPipe_.get() >= 0) {
      const ssize_t got = ::read(errorPipe_.get(), buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got == 0) errorPipe_.Reset();
      if (got <= 0) return;
      const std::size_t room = kKeptErrorBytes - std::min(errors_.size(), kKeptErrorBytes);
      errors_.append(buffer, std::min(room, static_cast<std::size_t>(got)));
    }
  }

  pid_t pid_;
  Descriptor errorPipe_;
  Descriptor pidfd_;
  std::string errors_;
};

}  // namespace

ProgramOutcome RunAlertProgram(const std::vector<std::string>& arguments,
                               const Environment& environment, std::chrono::seconds limit) {
  const Clock::time_point deadline = Clock::now() + limit;
  if (arguments.empty() || arguments.front().empty())
    return {std::nullopt, false, false, "No program to run"};
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
    return {std::nullopt, false, false, "Cannot start a program: " + ErrnoText(errno)};
  Descriptor readEnd(pipeEnds[0]);
  Descriptor writeEnd(pipeEnds[1]);
  std::vector<std::string> argumentCopies = arguments;
  std::vector<std::string> variables = MergedEnvironment(environment);
  const SpawnActions actions(writeEnd.get());
  const SpawnAttributes attributes;
  pid_t pid = 0;
  // posix_spawnp(3) searches PATH only for a name without a slash.
  const int error =
      ::posix_spawnp(&pid, arguments.front().c_str(), actions.get(), attributes.get(),
                     NullTerminated(argumentCopies).data(), NullTerminated(variables).data());
  writeEnd.Reset();
  if (error != 0) return {std::nullopt, false, false, StartFailure(arguments.front(), error)};
  Child child(pid, readEnd.Release());
  const bool exited = child.WaitForExit(deadline);
  if (!exited) child.EndGroup();
  ProgramOutcome outcome = child.Reap();
  if (!exited) outcome = {std::nullopt, true, true, {}};
  return outcome;
}

}  // namespace kelvoran
