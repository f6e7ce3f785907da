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

JobResult RecoverySession::parseJob(const VolumeRecord& record, ParseOptions options, Reporter& reporter,
                                   JobControl& job, std::unique_ptr<ParsedVolume>& volume) {
  options.job = &job;
  std::string error;
  JobReporter events(reporter, job);
  volume = openVolume(record, options, events, error);
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
