// Which volume of the virtual disk the work is on: the volume list by tables or by a
// boot-sector search, a volume picked from it or described by hand, and how to parse it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/job.h"
#include "recovery/open_volume.h"
#include "storage/read_write_interface.h"
#include "volumes/partition.h"
#include "volumes/volume_record.h"

namespace quarnel::app {

struct DiscoverySettings {
  bool gpt = false, scan = false, noSkip = false;
  std::int64_t from = 0, to = 0;
};

// The volume list (indexes renumbered from 0). job, when given, can stop a search.
std::vector<VolumeRecord> listVolumes(readWriteInterface& disk, const DiscoverySettings& settings,
                                      VolumeReporter& reporter, JobControl* job = nullptr);

struct VolumeChoice {
  DiscoverySettings discovery;
  int volume = -1;                  // index in the list
  std::int64_t start = -1;          // or a custom volume: start sector,
  std::string fs;                   // file system (ntfs|fat16|fat32|exfat|ext|hfs+|raw)
  std::int64_t sizeMiB = -1;        // and size
  std::string mode = "standard";    // standard|advanced|deep
  int candidate = -1;               // advanced mode: the candidate picked, from 0
  std::int64_t clusterSectors = 0;  // advanced mode: the cluster size chosen
  int heap = 0;                     // exFAT's advanced mode: the heap candidate picked
  bool formatted = false;
};

// The record the choice names. False with a reason and an exit status (1: cannot, 2: bad
// usage) when it names none.
bool resolveVolume(readWriteInterface& disk, const VolumeChoice& choice, VolumeReporter& reporter,
                   VolumeRecord& record, std::string& error, int& status);

// How the choice says to parse; false with a reason when it is incomplete.
bool parseOptionsFor(const VolumeChoice& choice, ParseOptions& options, std::string& error);

enum class FileSystemKind { Ntfs, Fat16, Fat32, Exfat, Ext, HfsPlus, Raw, Other };

// The kind of the record's file system, as the recovery-mode page picks a parser by it.
FileSystemKind fileSystemKind(const VolumeRecord& record);

// "ntfs" → "NTFS", "fat16" → "FAT16", "fat32" → "FAT32", "exfat" → "FAT64", "ext" → "extX",
// "hfs+" → "HFS+", "raw" → "RAW"; empty when unknown.
std::string fileSystemName(const std::string& fsOption);

}  // namespace quarnel::app
