#include "engine/probe_launcher.h"

#include <new>
#include <system_error>
#include <utility>

#include "engine/result_mailbox.h"
#include "engine/scheduler.h"

namespace kelvoran {

ProbeLauncher::ProbeLauncher(ResultMailbox& mailbox, ProbeFunction probe, StartThread startThread)
    : mailbox_(mailbox), probe_(std::move(probe)), startThread_(std::move(startThread)) {}

ProbeLauncher::~ProbeLauncher() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> hold(lock_);
    closing_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

bool ProbeLauncher::Open() {
  try {
    thread_ = std::thread([this] { Run(); });
    return true;
  } catch (const std::system_error&) {
    return false;  // EAGAIN: no thread for the launcher either
  }
}

void ProbeLauncher::Queue(ProbeJobPtr job) {
  const std::lock_guard<std::mutex> hold(lock_);
  queue_.push_back(std::move(job));
}

void ProbeLauncher::Wake() { wake_.notify_one(); }

void ProbeLauncher::Run() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    wake_.wait(hold, [this] { return closing_ || !queue_.empty(); });
    if (closing_) return;
    ProbeJobPtr job = std::move(queue_.front());
    queue_.pop_front();
    hold.unlock();
    Launch(std::move(job));
    hold.lock();
  }
}

void ProbeLauncher::Launch(ProbeJobPtr job) {
  try {
    if (StartWorker(job, mailbox_, probe_, startThread_)) return;
  } catch (const std::bad_alloc&) {
    // The same as no thread: the job goes back unrun.
  }
  job->NeverRan = true;
  mailbox_.Put(std::move(job));
}

}  // namespace kelvoran
