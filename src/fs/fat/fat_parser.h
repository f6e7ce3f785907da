// What the FAT32 and FAT16 parsers share: the sector source and geometry, the cached FAT,
// the entry list and its links, the tree fill, saving, the texts, and the advanced mode's
// scan and build. Fat32Class and Fat16Class add their boot-sector check, root directory
// and advanced-mode layout.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "fs/fat/fat_boot_sector.h"
#include "fs/fat/fat_directory_walk.h"
#include "fs/fat/fat_entry_record.h"
#include "fs/fat/fat_scan.h"
#include "fs/fat/fat_table.h"
#include "fs/fat/fat_volume_io.h"
#include "platform/byte_sink.h"
#include "platform/job.h"
#include "platform/reporter.h"
#include "storage/read_write_interface.h"

namespace quarnel {

class FatFamilyParser {
 public:
  FatFamilyParser(const FatFamilyParser&) = delete;
  FatFamilyParser& operator=(const FatFamilyParser&) = delete;

  // Takes the source and the volume's start; inserts the volume's item when there is a tree.
  void attachSource(readWriteInterface& source, std::int64_t startSector);
  // The volume's size in bytes (from the volume list's mebibytes), cut at the source's end.
  void setVolumeSize(std::uint64_t bytes);
  void setReporter(Reporter* reporter) { reporter_ = reporter ? reporter : &silentReporter(); }
  // The formatted-drive flag: chains are not followed, files are read as consecutive clusters.
  void setFormatted(bool on) { formatted_ = on; }
  bool formatted() const { return formatted_; }

  bool bootAccepted() const { return bootAccepted_; }
  const FatBootRecord& bootRecord() const { return boot_; }
  // The boot sector's layout, or (FAT32) its backup's when the boot sector is wiped.
  const std::optional<FatGeometry>& bootGeometry() const { return bootGeometry_; }
  const FatGeometry& geometry() const { return geo_; }

  std::int32_t linkEntries() { return linkRecords(records_); }
  void fillTreeRoots();
  void releaseBuffers();

  // Advanced mode: 512-byte sectors and the user's sectors per cluster.
  void setUserGeometry(std::uint32_t sectorsPerCluster);
  bool userGeometry() const { return userGeometry_; }
  std::vector<std::uint64_t>& candidates() { return candidates_; }
  const std::vector<std::uint64_t>& foundPositions() const { return found_; }

  // The content of a record: its chain, or consecutive clusters when the chain is gone
  // (a deleted file whose first FAT entry is free) or the volume was formatted.
  bool writeContent(const FatEntryRecord& r, ByteSink& out) const;
  // Writes the content into a new file at path (never over an existing one) with its times.
  bool saveFile(const FatEntryRecord& r, const std::string& path) const;
  std::string sizeText(const FatEntryRecord& r) const;
  FatEntryTexts entryTimeTexts(const FatEntryRecord& r) const { return fatEntryTimeTexts(r); }

  std::vector<FatEntryRecord>& entries() { return records_; }
  const std::vector<FatEntryRecord>& entries() const { return records_; }

  // The job that drives the parse: its stop request ends the scans with what was found.
  void setJob(JobControl* job) { job_ = job ? job : &ownJob_; }
  void requestStop() { job_->requestStop(); }
  JobControl& job() { return *job_; }

 protected:
  FatFamilyParser() = default;
  ~FatFamilyParser() = default;

  // Reads and decodes one 512-byte sector of the volume.
  FatBootRecord readBoot(std::uint64_t sector) const;
  // The FAT at offset for the geometry in force.
  void useTable(std::uint64_t offset, std::uint64_t size);
  // The standard walk from a root the subclass has read.
  std::vector<FatEntryRecord>& walkFrom(const FatDirectoryBytes& root);
  // The advanced mode's list from the found slots: those in the root's first cluster (FAT32)
  // or region (FAT16) at the root, those reached through a found folder below it, the rest
  // under "ORPHAN ENTRY".
  std::vector<FatEntryRecord>& buildEntries();

  FatWalkRules rules_;
  FatWalkRules advancedRules_;
  FatScanRules scanRules_ = FatScanRules::Fat32;

  readWriteInterface* source_ = nullptr;
  std::int64_t startSector_ = 0;
  VolumeReader io_;
  std::uint64_t volumeSize_ = 0;
  Reporter* reporter_ = &silentReporter();

  FatBootRecord boot_;
  bool bootAccepted_ = false;
  std::optional<FatGeometry> bootGeometry_;  // the boot sector's (or its backup's) layout
  FatGeometry geo_;
  bool userGeometry_ = false;
  std::unique_ptr<FatTable> fat_ = std::make_unique<FatTable>();
  std::vector<FatEntryRecord> records_;
  bool formatted_ = false;
  UnstoppableJob ownJob_;
  JobControl* job_ = &ownJob_;

  std::vector<std::uint64_t> candidates_;
  std::vector<std::uint64_t> found_;
  std::unordered_set<std::uint64_t> taken_;
};

}  // namespace quarnel
