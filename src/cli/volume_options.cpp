#include "cli/volume_options.h"

#include "volumes/partition.h"

namespace quarnel::cli {

void addDiscoveryOptions(CLI::App& command, DiscoveryOptions& d) {
  command.add_flag("--gpt", d.gpt, "read the GUID partition table instead of the MBR");
  auto* scan = command.add_flag("--scan", d.scan, "search the disk for boot sectors instead of reading tables");
  command.add_option("--from", d.from, "first sector of the search")->needs(scan)->check(CLI::NonNegativeNumber);
  command.add_option("--to", d.to, "last block start of the search")->needs(scan)->check(CLI::NonNegativeNumber);
  command.add_flag("--no-skip", d.noSkip, "also search inside volumes already found")->needs(scan);
}

std::vector<VolumeRecord> listVolumes(readWriteInterface& disk, const DiscoveryOptions& d,
                                      TerminalReporter& reporter) {
  std::vector<VolumeRecord> list;
  Partition partition;
  partition.volumeList = &list;
  partition.reporter = &reporter;
  partition.gptMode = d.gpt ? 1 : 0;
  if (d.scan) {
    partition.skipVolumeSize = d.noSkip ? 0 : 1;
    partition.scanStartSector = d.from;
    partition.scanEndSector = d.to;
    scanForBootSectors(partition, disk);
  } else {
    readPartitionTables(disk, partition);
  }
  reporter.finish();
  for (std::size_t i = 0; i < list.size(); ++i) list[i].volumeIndex = std::to_string(i);
  return list;
}

void addVolumeOptions(CLI::App& command, VolumeOptions& o) {
  command.add_option("-v,--volume", o.volume, "index as printed by `volumes` with the same --gpt/--scan options")
      ->check(CLI::NonNegativeNumber)
      ->group("VOLUME");
  auto* start = command.add_option("--start", o.start, "a custom volume: its start sector")
                    ->check(CLI::NonNegativeNumber)
                    ->group("VOLUME");
  command.add_option("--fs", o.fs, "the custom volume's file system: ntfs|fat16|fat32|exfat|ext|hfs+|raw")
      ->needs(start)
      ->group("VOLUME");
  command.add_option("--size", o.sizeMiB, "the custom volume's size in MiB (default: the rest of the disk)")
      ->needs(start)
      ->check(CLI::PositiveNumber)
      ->group("VOLUME");
  command.add_option("--mode", o.mode, "recovery mode")
      ->check(CLI::IsMember({"standard", "advanced", "deep"}))
      ->capture_default_str()
      ->group("VOLUME");
  command.add_option("--candidate", o.candidate, "advanced mode: the candidate to parse from (see `candidates`)")
      ->check(CLI::NonNegativeNumber)
      ->group("VOLUME");
  command.add_option("--cluster-sectors", o.clusterSectors, "advanced mode: the cluster size to use")
      ->check(CLI::PositiveNumber)
      ->group("VOLUME");
  command.add_option("--heap", o.heap, "advanced mode on exFAT: the cluster-heap candidate to use (see `candidates`)")
      ->check(CLI::NonNegativeNumber)
      ->group("VOLUME");
  command.add_flag("--formatted", o.formatted, "the volume was formatted (FAT family, advanced mode)")
      ->group("VOLUME");
  addDiscoveryOptions(command, o.discovery);
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

bool resolveVolume(readWriteInterface& disk, const VolumeOptions& o, TerminalReporter& reporter,
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

}  // namespace quarnel::cli
