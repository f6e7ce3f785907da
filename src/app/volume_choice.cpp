#include "app/volume_choice.h"

namespace quarnel::app {

std::vector<VolumeRecord> listVolumes(readWriteInterface& disk, const DiscoverySettings& d,
                                      VolumeReporter& reporter, JobControl* job) {
  std::vector<VolumeRecord> list;
  Partition partition;
  partition.volumeList = &list;
  partition.reporter = &reporter;
  if (job) partition.job = job;
  partition.gptMode = d.gpt ? 1 : 0;
  if (d.scan) {
    partition.skipVolumeSize = d.noSkip ? 0 : 1;
    partition.scanStartSector = d.from;
    partition.scanEndSector = d.to;
    scanForBootSectors(partition, disk);
  } else {
    readPartitionTables(disk, partition);
  }
  for (std::size_t i = 0; i < list.size(); ++i) list[i].volumeIndex = std::to_string(i);
  return list;
}

std::string fileSystemName(const std::string& fs) {
  if (fs == "ntfs") return "NTFS";
  if (fs == "fat16") return "FAT16";
  if (fs == "fat32") return "FAT32";
  if (fs == "exfat") return "FAT64";
  if (fs == "ext") return "extX";
  if (fs == "hfs+" || fs == "hfs") return "HFS+";
  if (fs == "raw") return "RAW";
  return {};
}

bool resolveVolume(readWriteInterface& disk, const VolumeChoice& o, VolumeReporter& reporter,
                   VolumeRecord& record, std::string& error, int& status) {
  const std::int64_t total = disk.sizeSectors();
  if (o.start >= 0) {
    if (o.volume >= 0) {
      error = "give either --volume or --start, not both";
      status = 2;
      return false;
    }
    record.fileSystem = fileSystemName(o.fs);
    if (record.fileSystem.empty()) {
      error = "--start needs --fs ntfs|fat16|fat32|exfat|ext|hfs+|raw";
      status = 2;
      return false;
    }
    if (o.start >= total) {
      error = "--start " + std::to_string(o.start) + " lies past the end of the disk (" +
              std::to_string(total) + " sectors)";
      status = 1;
      return false;
    }
    const std::int64_t rest = (total - o.start) / 2048;
    record.volumeSizeText = std::to_string(o.sizeMiB > 0 ? o.sizeMiB : rest);
    record.startSector = o.start;
    record.volumeIndex = "0";
    return true;
  }
  if (o.volume < 0) {
    error = "name a volume with --volume N (see `quarnel volumes`) or --start S --fs T";
    status = 2;
    return false;
  }
  std::vector<VolumeRecord> list = listVolumes(disk, o.discovery, reporter);
  if (static_cast<std::size_t>(o.volume) >= list.size()) {
    error = "there is no volume " + std::to_string(o.volume) + ": the disk lists " +
            std::to_string(list.size()) + " (see `quarnel volumes`)";
    status = 1;
    return false;
  }
  record = list[static_cast<std::size_t>(o.volume)];
  return true;
}

FileSystemKind fileSystemKind(const VolumeRecord& record) {
  const std::string& fs = record.fileSystem;
  if (fs.rfind("NTF", 0) == 0) return FileSystemKind::Ntfs;
  if (fs == "FAT16") return FileSystemKind::Fat16;
  if (fs == "FAT32") return FileSystemKind::Fat32;
  if (fs == "FAT64") return FileSystemKind::Exfat;
  if (fs.rfind("ext", 0) == 0) return FileSystemKind::Ext;
  if (fs.rfind("HFS", 0) == 0) return FileSystemKind::HfsPlus;
  if (fs == "RAW") return FileSystemKind::Raw;
  return FileSystemKind::Other;
}

bool parseOptionsFor(const VolumeChoice& o, ParseOptions& p, std::string& error) {
  p.mode = o.mode == "deep"       ? RecoveryMode::Deep
           : o.mode == "advanced" ? RecoveryMode::Advanced
                                  : RecoveryMode::Standard;
  p.candidate = o.candidate;
  p.clusterSectors = o.clusterSectors;
  p.heap = o.heap;
  p.formatted = o.formatted;
  if (p.mode == RecoveryMode::Advanced && p.candidate < 0) {
    error = "advanced mode needs --candidate K (see `quarnel candidates`)";
    return false;
  }
  return true;
}

}  // namespace quarnel::app
