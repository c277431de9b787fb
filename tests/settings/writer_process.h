#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kelvoran::testing {

// A writer program beside the running test (settings_writer unless named),
// started with its output on a pipe the test reads, and killed as a power cut
// or the task manager would: SIGKILL, TerminateProcess.
class WriterProcess {
 public:
  WriterProcess(const std::string& file, int round, std::string program = "settings_writer")
      : program_(std::move(program)) {
    Start(file, std::to_string(round));
  }
  WriterProcess(const WriterProcess&) = delete;
  WriterProcess& operator=(const WriterProcess&) = delete;
  ~WriterProcess() {
    if (output_) std::fclose(output_);
  }

  bool started() const { return output_ != nullptr; }
  // The system's id of the writer; once it is killed, an id no process has
  // (until the system hands it out again).
  std::uint64_t id() const { return id_; }
  // The next "HOST PASS" line the writer printed; false at the end.
  bool Read(int& host, long& pass) { return std::fscanf(output_, "%d %ld", &host, &pass) == 2; }
  // Kills the writer and waits for it; true when the kill is what ended it.
  bool Kill();

 private:
  std::filesystem::path Program() const;
  void Start(const std::string& file, const std::string& round);

  std::string program_;
  std::FILE* output_ = nullptr;
  std::uint64_t id_ = 0;
#ifdef _WIN32
  HANDLE process_ = nullptr;
#else
  pid_t pid_ = -1;
#endif
};

#ifdef _WIN32
// An exit code no run of the writer ends with by itself.
inline constexpr UINT kKilled = 99;

inline std::filesystem::path WriterProcess::Program() const {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return std::filesystem::path(self).parent_path() / (program_ + ".exe");
}

inline void WriterProcess::Start(const std::string& file, const std::string& round) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  std::wstring command = L"\"" + Program().wstring() + L"\" \"" +
                         std::filesystem::path(file).wstring() + L"\" " +
                         std::filesystem::path(round).wstring();
  PROCESS_INFORMATION child{};
  // Wine now and then fails a CreateProcess shortly after a TerminateProcess
  // of the same program; Windows does not. A few tries, a moment apart.
  bool created = false;
  for (int attempt = 0; attempt < 5 && !created; ++attempt) {
    if (attempt > 0) Sleep(200);
    created = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                             nullptr, nullptr, &startup, &child);
  }
  CloseHandle(write);  // the child's copy stays open; the end comes with it
  if (!created) {
    CloseHandle(read);
    return;
  }
  CloseHandle(child.hThread);
  process_ = child.hProcess;
  id_ = child.dwProcessId;
  output_ = _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(read), _O_RDONLY), "r");
}

inline bool WriterProcess::Kill() {
  TerminateProcess(process_, kKilled);
  WaitForSingleObject(process_, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  CloseHandle(process_);
  return code == kKilled;
}
#else
inline std::filesystem::path WriterProcess::Program() const {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path() / program_;
}

inline void WriterProcess::Start(const std::string& file, const std::string& round) {
  int fds[2];
  if (::pipe(fds) != 0) return;
  const std::string program = Program().string();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(fds[1], STDOUT_FILENO);
    ::close(fds[0]);
    ::close(fds[1]);
    ::execl(program.c_str(), program.c_str(), file.c_str(), round.c_str(), nullptr);
    ::_exit(127);
  }
  ::close(fds[1]);
  if (pid_ < 0) {
    ::close(fds[0]);
    return;
  }
  id_ = static_cast<std::uint64_t>(pid_);
  output_ = ::fdopen(fds[0], "r");
}

inline bool WriterProcess::Kill() {
  ::kill(pid_, SIGKILL);
  int status = 0;
  return ::waitpid(pid_, &status, 0) == pid_ && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}
#endif

}  // namespace kelvoran::testing
