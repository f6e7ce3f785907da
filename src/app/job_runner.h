// One worker per page: a job runs on its own thread with its own JobControl; the page asks it
// to pause, resume or stop, samples its progress as often as it draws, and takes the result
// when it ends. The page never waits for the work.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/job.h"

namespace quarnel::app {

class JobRunner {
 public:
  using Work = std::function<JobResult(JobControl&)>;
  // Runs on the worker thread once the work has ended, with its result; it must neither
  // start another job on this runner nor destroy it (post to the page's thread for that).
  using Finished = std::function<void(const JobResult&)>;

  JobRunner() = default;
  JobRunner(const JobRunner&) = delete;
  JobRunner& operator=(const JobRunner&) = delete;
  ~JobRunner();  // stops a running job and waits for it

  // Starts work on a new thread; false when a job is still running.
  bool start(Work work, Finished finished = {});
  void pause();
  void resume();
  void stop();
  bool running() const { return running_.load(); }
  bool paused() const;
  bool waiting() const { return control_ && control_->waiting(); }
  JobProgress progress() const;
  // Waits for the job to end (at once when none ran) and gives its result.
  JobResult wait();

 private:
  std::unique_ptr<JobControl> control_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  mutable std::mutex mutex_;
  JobResult result_;
};

}  // namespace quarnel::app
