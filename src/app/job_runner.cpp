#include "app/job_runner.h"

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
    JobResult r = work(*control_);
    if (r.ok() && control_->stopRequested()) r = JobResult::stopped();
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
