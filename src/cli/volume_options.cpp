#include "cli/volume_options.h"

namespace quarnel::cli {

void addDiscoveryOptions(CLI::App& command, DiscoveryOptions& d) {
  command.add_flag("--gpt", d.gpt, "read the GUID partition table even without a protective MBR (one with a type 0xEE entry is read as its GPT anyway)");
  auto* scan = command.add_flag("--scan", d.scan, "search the disk for boot sectors instead of reading tables");
  command.add_option("--from", d.from, "first sector of the search")->needs(scan)->check(CLI::NonNegativeNumber);
  command.add_option("--to", d.to, "last block start of the search")->needs(scan)->check(CLI::NonNegativeNumber);
  command.add_flag("--no-skip", d.noSkip, "also search inside volumes already found")->needs(scan);
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

std::vector<VolumeRecord> listVolumes(readWriteInterface& disk, const DiscoveryOptions& options,
                                      TerminalReporter& reporter) {
  std::vector<VolumeRecord> list = app::listVolumes(disk, options, reporter);
  reporter.finish();
  return list;
}

bool resolveVolume(readWriteInterface& disk, const VolumeOptions& options, TerminalReporter& reporter,
                   VolumeRecord& record, std::string& error, int& status) {
  const bool ok = app::resolveVolume(disk, options, reporter, record, error, status);
  reporter.finish();
  return ok;
}

}  // namespace quarnel::cli
