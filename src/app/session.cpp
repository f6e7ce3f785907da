#include "app/session.h"

#include "app/job_reporter.h"

namespace quarnel::app {

bool RecoverySession::openArray(const ArraySettings& settings, Reporter& reporter, std::string& error,
                                int& status) {
  raid_.setReporter(&reporter);
  if (!configureArray(settings, raid_, error)) {
    status = 2;
    return false;
  }
  if (!raid_.open("raid Hard disk..")) {
    error = "cannot open the array: " + raid_.lastError();
    status = 1;
    return false;
  }
  return true;
}

std::unique_ptr<ParsedVolume> RecoverySession::openVolume(const VolumeRecord& record, const ParseOptions& options,
                                                          Reporter& reporter, std::string& error) {
  return parseVolume(raid_, record, options, reporter, error);
}

namespace {

// The parsers keep their reporter for the volume's life (a warning while a file is read), so
// the one that also fed the job lives as long as the volume.
class ReportedVolume : public ParsedVolume {
 public:
  EntryView& view() override { return inner->view(); }

  std::unique_ptr<JobReporter> events;
  std::unique_ptr<ParsedVolume> inner;
};

}  // namespace

JobResult RecoverySession::parseJob(const VolumeRecord& record, ParseOptions options, Reporter& reporter,
                                   JobControl& job, std::unique_ptr<ParsedVolume>& volume) {
  options.job = &job;
  std::string error;
  auto reported = std::make_unique<ReportedVolume>();
  reported->events = std::make_unique<JobReporter>(reporter, job);
  reported->inner = openVolume(record, options, *reported->events, error);
  reported->events->detach();
  volume.reset();
  if (reported->inner) volume = std::move(reported);
  if (job.stopRequested()) return JobResult::stopped();
  if (!volume) return JobResult::damaged(parseFailureText(record, error));
  return JobResult::done();
}

JobResult RecoverySession::scanJob(const DiscoverySettings& settings, VolumeReporter& reporter, JobControl& job,
                                   std::vector<VolumeRecord>& volumes) {
  JobReporter events(reporter, job);
  volumes = listVolumes(raid_, settings, events, &job);
  return job.stopRequested() ? JobResult::stopped() : JobResult::done();
}

std::string parseFailureText(const VolumeRecord& record, const std::string& why) {
  return "cannot parse volume " + record.volumeIndex + " (" + record.fileSystem + " at sector " +
         std::to_string(record.startSector) + "): " + why;
}

}  // namespace quarnel::app
