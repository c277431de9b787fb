// What the alert program tests run, on Linux and under Wine:
//   record FILE ARG...  writes its arguments, KELVORAN_HOST and the number of
//                       descriptors it was given beyond 0-2 to FILE
//   exit N              complains on stderr and exits with status N
//   linger PIDFILE      starts `hold` as its child, writes the child's pid to
//                       PIDFILE and sleeps
//   hold                ignores SIGTERM and sleeps
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>
#endif

namespace {

void SleepLong() { std::this_thread::sleep_for(std::chrono::seconds(60)); }

std::string Field(char tag, const std::string& value) {
  return tag + std::to_string(value.size()) + ":" + value + "\n";
}

#ifdef _WIN32
std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.pop_back();
  return out;
}

std::string HostVariable() {
  const wchar_t* value = _wgetenv(L"KELVORAN_HOST");
  return value != nullptr ? Utf8(value) : "(none)";
}

int ExtraDescriptors() { return 0; }

unsigned long StartHolder() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(self) + L"\" hold";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &process))
    return 0;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return process.dwProcessId;
}
#else
std::string HostVariable() {
  const char* value = std::getenv("KELVORAN_HOST");
  return value != nullptr ? value : "(none)";
}

// Counts /proc/self/fd, less 0-2 and the listing's own descriptor.
int ExtraDescriptors() {
  DIR* folder = opendir("/proc/self/fd");
  if (folder == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(folder)) {
    if (entry->d_name[0] != '.' && std::atoi(entry->d_name) > 2) ++count;
  }
  closedir(folder);
  return count - 1;
}

unsigned long StartHolder() {
  char self[] = "/proc/self/exe";
  char hold[] = "hold";
  char* arguments[] = {self, hold, nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, self, nullptr, nullptr, arguments, environ) != 0) return 0;
  return static_cast<unsigned long>(pid);
}
#endif

std::ofstream OpenOut(const std::string& path) {
  return std::ofstream(std::filesystem::u8path(path), std::ios::binary);
}

int Run(const std::vector<std::string>& arguments) {
  const std::string mode = arguments.size() > 1 ? arguments[1] : "";
  if (mode == "record" && arguments.size() > 2) {
    std::string record;
    for (std::size_t i = 1; i < arguments.size(); ++i) record += Field('A', arguments[i]);
    record += Field('E', HostVariable());
    record += Field('F', std::to_string(ExtraDescriptors()));
    OpenOut(arguments[2]) << record;
    return 0;
  }
  if (mode == "exit" && arguments.size() > 2) {
    std::fputs("complaint\nmore\n", stderr);
    return std::atoi(arguments[2].c_str());
  }
  if (mode == "linger" && arguments.size() > 2) {
    OpenOut(arguments[2]) << StartHolder();
    SleepLong();
    return 0;
  }
  if (mode == "hold") {
#ifndef _WIN32
    signal(SIGTERM, SIG_IGN);
#endif
    SleepLong();
    return 0;
  }
  std::fputs("unknown mode\n", stderr);
  return 100;
}

}  // namespace

#ifdef _WIN32
int wmain(int count, wchar_t** wide) {
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8(wide[i]));
  return Run(arguments);
}
#else
int main(int count, char** narrow) { return Run(std::vector<std::string>(narrow, narrow + count)); }
#endif
