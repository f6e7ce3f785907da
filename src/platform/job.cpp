#include "platform/job.h"

namespace quarnel {

const char* jobStatusName(JobStatus s) {
  switch (s) {
    case JobStatus::Done: return "done";
    case JobStatus::Stopped: return "stopped";
    case JobStatus::Damaged: return "damaged input";
    case JobStatus::IoError: return "I/O error";
  }
  return "?";
}

void JobControl::requestStop() {
  std::lock_guard lock(mutex_);
  stop_ = true;
  resumed_.notify_all();
}

void JobControl::pause() {
  std::lock_guard lock(mutex_);
  paused_ = true;
}

void JobControl::resume() {
  std::lock_guard lock(mutex_);
  paused_ = false;
  resumed_.notify_all();
}

JobProgress JobControl::progress() const {
  return {phase_.load(std::memory_order_relaxed), done_.load(std::memory_order_relaxed),
          total_.load(std::memory_order_relaxed)};
}

void JobControl::beginPhase(int phase, std::int64_t total) {
  done_.store(0, std::memory_order_relaxed);
  total_.store(total, std::memory_order_relaxed);
  phase_.store(phase, std::memory_order_relaxed);
}

void JobControl::waitWhilePaused() {
  std::unique_lock lock(mutex_);
  waiting_ = true;
  resumed_.wait(lock, [&] { return !paused_ || stop_; });
  waiting_ = false;
}

}  // namespace quarnel
