// Volume discovery: the partition-table walk (MBR with its chain of extended boot records,
// or GPT) and the search of the disk for boot sectors.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/job.h"
#include "platform/reporter.h"
#include "storage/read_write_interface.h"
#include "volumes/volume_record.h"

namespace quarnel {

// What a volume scan tells its page beyond status and progress.
class VolumeReporter : public Reporter {
 public:
  // A record the boot-sector scan found (the page shows it at the top of its list).
  virtual void found(const VolumeRecord& /*record*/) {}
  // The scan began (true) or ran to its end or a stop (false); a failed read ends it without
  // the second call. The volume page enables its filter by it.
  virtual void scanRunning(bool /*running*/) {}
};

// One scan's settings and state; made for each scan and discarded after it.
struct Partition {
  std::vector<VolumeRecord>* volumeList = nullptr;  // where records are appended
  VolumeReporter* reporter = nullptr;               // status line, progress, messages
  // The job that drives the walk or scan: a stop ends it with the records found so far.
  JobControl* job = &ownJob;
  UnstoppableJob ownJob;
  std::uint8_t gptMode = 0;
  std::uint8_t skipVolumeSize = 0;
  std::int64_t scanStartSector = 0;
  std::int64_t scanEndSector = 0;
};

// Walks the tables of the opened source and appends a record per volume. Returns 0 when
// the walk ended or was stopped, an errno value when a needed read failed.
std::int32_t readPartitionTables(readWriteInterface& source, Partition& partition);

bool isExfatBootSector(readWriteInterface& source, std::int64_t sector);
bool isHfsPlusVolume(readWriteInterface& source, std::int64_t startSector);
// An ext2/3/4 primary superblock 1024 bytes into the volume.
bool isExtVolume(readWriteInterface& source, std::int64_t startSector);

// Searches the opened source (or the partition's sector range) for boot sectors of NTFS,
// FAT, exFAT and HFS+ volumes and appends a record per volume found.
void scanForBootSectors(Partition& partition, readWriteInterface& source);

}  // namespace quarnel
