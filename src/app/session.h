// One recovery as the window and the command line drive it: the configured array, the
// volumes on it, and opening one of them. Each opened volume reads through its own source,
// so several may be open, and read from several threads, at once.
#pragma once

#include <memory>
#include <string>

#include "app/array_settings.h"
#include "app/volume_choice.h"
#include "recovery/open_volume.h"
#include "storage/file_read_seek_raid.h"

namespace quarnel::app {

class RecoverySession {
 public:
  // Configures and opens the array. False with a reason and an exit status (1: cannot,
  // 2: bad settings).
  bool openArray(const ArraySettings& settings, Reporter& reporter, std::string& error, int& status);
  FileReadSeekRaid& disk() { return raid_; }
  const std::vector<std::string>& warnings() const { return raid_.warnings(); }

  // Parses the volume the record names; null with a reason. reporter must outlive the
  // volume: its parser tells it of trouble met while files are read.
  std::unique_ptr<ParsedVolume> openVolume(const VolumeRecord& record, const ParseOptions& options,
                                           Reporter& reporter, std::string& error);
  // The same as a job: Done with the volume; Stopped with what was found before the stop (a
  // volume, or none when nothing was); Damaged with why it could not be parsed.
  JobResult parseJob(const VolumeRecord& record, ParseOptions options, Reporter& reporter, JobControl& job,
                     std::unique_ptr<ParsedVolume>& volume);
  // The volume list as a job (the tables, or the boot-sector search); Stopped keeps the
  // records found so far.
  JobResult scanJob(const DiscoverySettings& settings, VolumeReporter& reporter, JobControl& job,
                    std::vector<VolumeRecord>& volumes);

 private:
  FileReadSeekRaid raid_;
};

// "cannot parse volume 0 (NTFS at sector 2048): why"
std::string parseFailureText(const VolumeRecord& record, const std::string& why);

}  // namespace quarnel::app
