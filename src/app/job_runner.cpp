#include "app/job_runner.h"

#include <exception>
#include <new>

namespace quarnel::app {

JobRunner::~JobRunner() {
  stop();
  if (thread_.joinable()) thread_.join();
}

bool JobRunner::start(Work work, Finished finished) {
  if (running_) return false;
  if (thread_.joinable()) thread_.join();
  // A fresh control per job: a stop meant for the last job never reaches the next one.
  control_ = std::make_unique<JobControl>();
  running_ = true;
  thread_ = std::thread([this, work = std::move(work), finished = std::move(finished)] {
    JobResult r;
    try {
      r = work(*control_);
    } catch (const std::bad_alloc&) {
      r = JobResult::damaged("not enough memory for what the input claims");
    } catch (const std::exception& e) {
      r = JobResult::damaged(e.what());
    }
    {
      std::lock_guard lock(mutex_);
      result_ = r;
    }
    running_ = false;
    if (finished) finished(r);
  });
  return true;
}

void JobRunner::pause() {
  if (control_) control_->pause();
}

void JobRunner::resume() {
  if (control_) control_->resume();
}

void JobRunner::stop() {
  if (control_) control_->requestStop();
}

bool JobRunner::paused() const { return control_ && control_->paused(); }

JobProgress JobRunner::progress() const { return control_ ? control_->progress() : JobProgress{}; }

JobResult JobRunner::wait() {
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  return result_;
}

}  // namespace quarnel::app
