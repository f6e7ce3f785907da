// How long work is driven from outside. The caller owns a JobControl and hands it down to
// every long loop; the work only reads the stop request (never clears it), waits at the same
// check points while paused, and publishes its progress as done of total in the unit of its
// current phase. Progress is kept here, not pushed: a window or a terminal samples it as
// often as it draws, so a million records cost no cross-thread call.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace quarnel {

enum class JobStatus {
  Done,     // the work ran to its end
  Stopped,  // a stop request ended it; what was found so far is kept
  Damaged,  // the input is not what it should be (a damaged or foreign structure)
  IoError,  // reading the input or writing the output failed
};

struct JobResult {
  JobStatus status = JobStatus::Done;
  std::string message;  // why, for every status but Done (may be empty for Stopped)

  static JobResult done() { return {}; }
  static JobResult stopped() { return {JobStatus::Stopped, {}}; }
  static JobResult damaged(std::string why) { return {JobStatus::Damaged, std::move(why)}; }
  static JobResult ioError(std::string why) { return {JobStatus::IoError, std::move(why)}; }
  bool ok() const { return status == JobStatus::Done; }
};

const char* jobStatusName(JobStatus s);

struct JobProgress {
  int phase = 0;  // which phase of the work, in the work's own numbering (0 before any)
  std::int64_t done = 0, total = 0;
};

class JobControl {
 public:
  // From the caller, on any thread.
  void requestStop();  // also lets a paused job run on to its stop
  void pause();
  void resume();
  bool stopRequested() const { return stop_.load(std::memory_order_relaxed); }
  bool paused() const { return paused_.load(std::memory_order_relaxed); }
  // Whether the work is held at a check point right now (paused and reached it).
  bool waiting() const { return waiting_.load(); }
  JobProgress progress() const;

  // From the work: the check point of every long loop. Waits while the job is paused; true
  // when the work must stop. Cheap enough to call once per record.
  bool shouldStop() {
    if (paused_.load(std::memory_order_relaxed)) waitWhilePaused();
    return stop_.load(std::memory_order_relaxed);
  }
  // A new phase with its total (0 when unknown) in the phase's unit.
  void beginPhase(int phase, std::int64_t total);
  void setTotal(std::int64_t total) { total_.store(total, std::memory_order_relaxed); }
  void setDone(std::int64_t done) { done_.store(done, std::memory_order_relaxed); }

 private:
  void waitWhilePaused();

  std::atomic<bool> stop_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> waiting_{false};
  std::atomic<int> phase_{0};
  std::atomic<std::int64_t> done_{0}, total_{0};
  std::mutex mutex_;
  std::condition_variable resumed_;
};

// For work that nobody drives: never stops, never pauses. Each caller gets its own, so no
// stop request can leak from one job into another.
class UnstoppableJob : public JobControl {};

}  // namespace quarnel
