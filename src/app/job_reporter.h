// Passes the engine's events on and keeps its progress in the job, so a window samples the
// job's progress as often as it draws instead of taking a call per record.
#pragma once

#include "platform/job.h"
#include "volumes/partition.h"

namespace quarnel::app {

class JobReporter : public VolumeReporter {
 public:
  JobReporter(Reporter& inner, JobControl& job)
      : inner_(inner), volumes_(dynamic_cast<VolumeReporter*>(&inner)), job_(&job) {}
  // The job ended; later events (a parser's warning while a file is read) only pass on.
  void detach() { job_ = nullptr; }

  void status(std::string_view text) override { inner_.status(text); }
  void progressRange(std::int64_t low, std::int64_t high) override {
    low_ = low;
    total_ = high > low ? high - low : 0;
    if (job_) job_->beginPhase(++phase_, total_);
    inner_.progressRange(low, high);
  }
  void progressPosition(std::int64_t position) override {
    // Some loops count one past their end; done never passes the total.
    const std::int64_t done = position - low_;
    if (job_) job_->setDone(total_ > 0 && done > total_ ? total_ : done);
    inner_.progressPosition(position);
  }
  void message(std::string_view text) override { inner_.message(text); }
  void warning(WarningKind kind, std::string_view text) override { inner_.warning(kind, text); }
  void finished(std::string_view text) override { inner_.finished(text); }
  void detail(std::string_view text) override { inner_.detail(text); }
  void found(const VolumeRecord& record) override {
    if (volumes_) volumes_->found(record);
  }
  void scanRunning(bool running) override {
    if (volumes_) volumes_->scanRunning(running);
  }

 private:
  Reporter& inner_;
  VolumeReporter* volumes_;
  JobControl* job_;
  std::int64_t low_ = 0, total_ = 0;
  int phase_ = 0;
};

}  // namespace quarnel::app
