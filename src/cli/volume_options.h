// How commands find the volumes of the virtual disk, and the VOLUME options that pick one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/terminal_reporter.h"
#include "storage/read_write_interface.h"
#include "volumes/volume_record.h"

namespace quarnel::cli {

struct DiscoveryOptions {
  bool gpt = false, scan = false, noSkip = false;
  std::int64_t from = 0, to = 0;
};

// --gpt, --scan, --from, --to, --no-skip.
void addDiscoveryOptions(CLI::App& command, DiscoveryOptions& options);

// The volume list as `volumes` prints it (indexes renumbered from 0).
std::vector<VolumeRecord> listVolumes(readWriteInterface& disk, const DiscoveryOptions& options,
                                      TerminalReporter& reporter);

struct VolumeOptions {
  DiscoveryOptions discovery;
  int volume = -1;
  std::int64_t start = -1;
  std::string fs;
  std::int64_t sizeMiB = -1;
  std::string mode = "standard";
  int candidate = -1;               // advanced mode: the candidate picked, from 0
  std::int64_t clusterSectors = 0;  // advanced mode: the cluster size chosen
  int heap = 0;                     // exFAT's advanced mode: the heap candidate picked
  bool formatted = false;
};

// -v/--volume, --start, --fs, --size, --mode, and the discovery options.
void addVolumeOptions(CLI::App& command, VolumeOptions& options);

// The record the options name. False with a reason (and the exit status to use) when
// they name none.
bool resolveVolume(readWriteInterface& disk, const VolumeOptions& options,
                   TerminalReporter& reporter, VolumeRecord& record, std::string& error,
                   int& status);

// "ntfs" → "NTFS", "fat16" → "FAT16", "fat32" → "FAT32", "exfat" → "FAT64", "ext" → "extX",
// "hfs+" → "HFS+", "raw" → "RAW"; empty when unknown.
std::string fileSystemName(const std::string& fsOption);

}  // namespace quarnel::cli
