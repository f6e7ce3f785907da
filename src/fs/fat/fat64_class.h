// The exFAT parser: standard mode from the boot sector, advanced mode from a FAT position,
// a cluster-heap position and a cluster-size exponent the user chose, with the searches
// for both positions.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "fs/fat/exfat_boot_sector.h"
#include "fs/fat/exfat_entry_set.h"
#include "fs/fat/fat_directory_walk.h"
#include "fs/fat/fat_entry_record.h"
#include "fs/fat/fat_table.h"
#include "fs/fat/fat_volume_io.h"
#include "platform/byte_sink.h"
#include "platform/job.h"
#include "platform/reporter.h"
#include "storage/read_write_interface.h"

namespace quarnel {

struct ExfatFileTimes {
  Instant created, accessed, modified;
};

class Fat64Class {
 public:
  Fat64Class() = default;
  Fat64Class(const Fat64Class&) = delete;
  Fat64Class& operator=(const Fat64Class&) = delete;

  void attachSource(readWriteInterface& source, std::int64_t startSector);
  // False for a size of 0.
  bool setVolumeSize(std::uint64_t bytes);
  void setReporter(Reporter* reporter) { reporter_ = reporter ? reporter : &silentReporter(); }
  void setFormatted(bool on) { formatted_ = on; }

  // True for an "EXFAT" boot sector whose layout holds together; "cant read file" when
  // the sector cannot be read.
  bool checkBootSector();
  bool bootAccepted() const { return bootAccepted_; }
  // The boot sector's layout, or its backup's (sector 12) when the boot sector is wiped.
  const std::optional<FatGeometry>& bootGeometry() const { return bootGeometry_; }
  const FatGeometry& geometry() const { return geo_; }

  // Standard mode: the root directory's whole chain, then the walk below it.
  bool readRootCluster();
  std::vector<ExFatEntryRecord>& collectRootEntries();
  // The cluster after c, 0xFFFFFFFF where the chain ends or is not followed.
  std::uint32_t nextCluster(std::uint32_t c) const;
  // As the FAT parsers, except that nothing is appended behind "DUMMY ENTRY".
  std::int32_t linkEntries() { return linkRecords(records_); }
  void fillTreeRoots();

  // Advanced mode: 512-byte sectors and 2^exponent sectors per cluster.
  void setUserGeometry(int exponent);
  void scanForEntries();
  std::vector<ExFatEntryRecord>& buildFromScan(std::uint64_t heapPosition, std::uint64_t fatPosition);
  const std::vector<std::uint64_t>& foundPositions() const { return found_; }
  // Positions of F8 FF FF FF FF FF FF FF (FAT entries 0 and 1) and of FF x 8 (a heap whose
  // first clusters are all allocated), at sector starts.
  std::vector<std::uint64_t> findFatCandidates(int limit);
  std::vector<std::uint64_t> findHeapCandidates(int limit);

  // The valid data length of a record, from its contiguous clusters, its chain, or
  // consecutive clusters when a deleted file's chain is gone or the volume was formatted.
  bool writeContent(const ExFatEntryRecord& r, ByteSink& out) const;
  bool saveFile(const ExFatEntryRecord& r, const std::string& path) const;
  ExfatFileTimes fileTimes(const ExFatEntryRecord& r) const;
  std::string sizeText(const ExFatEntryRecord& r) const;
  FatEntryTexts entryTimeTexts(const ExFatEntryRecord& r) const;

  std::vector<ExFatEntryRecord>& entries() { return records_; }
  const std::vector<ExFatEntryRecord>& entries() const { return records_; }
  // The job that drives the parse: its stop request ends the scans with what was found.
  void setJob(JobControl* job) { job_ = job ? job : &ownJob_; }
  void requestStop() { job_->requestStop(); }
  JobControl& job() { return *job_; }

 private:
  void reportDamagedSets();
  void useTable(std::uint64_t offset, std::uint64_t size);

  readWriteInterface* source_ = nullptr;
  std::int64_t startSector_ = 0;
  VolumeReader io_;
  std::uint64_t volumeSize_ = 0;
  Reporter* reporter_ = &silentReporter();

  bool bootAccepted_ = false;
  std::optional<FatGeometry> bootGeometry_;
  FatGeometry geo_;
  bool userGeometry_ = false;
  std::unique_ptr<FatTable> fat_ = std::make_unique<FatTable>();
  FatDirectoryBytes root_;
  std::vector<ExFatEntryRecord> records_;
  bool formatted_ = false;
  UnstoppableJob ownJob_;
  JobControl* job_ = &ownJob_;

  std::vector<std::uint64_t> found_;
  std::optional<std::uint64_t> rootPosition_;
  std::unordered_set<std::uint64_t> taken_;
};

}  // namespace quarnel
