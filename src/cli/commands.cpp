#include "cli/commands.h"

#include <cstdio>
#include <memory>

#include <CLI/CLI.hpp>

#include "cli/array_options.h"
#include "cli/terminal_reporter.h"
#include "cli/volume_options.h"
#include "platform/block_devices.h"
#include "platform/output_file.h"
#include "platform/raw_file.h"
#include "storage/disk_export.h"
#include "storage/file_read_seek_vhd.h"
#include "storage/member_info.h"
#include "volumes/partition.h"

namespace quarnel::cli {
namespace {

constexpr int kCannot = 1;
constexpr int kUsage = 2;

std::string mib(std::int64_t sectors) { return std::to_string(sectors / 2048) + " MiB"; }

// Configures and opens the virtual disk the ARRAY options name; prints why not.
bool openArray(const ArrayOptions& o, FileReadSeekRaid& raid, Reporter& reporter, int& status) {
  std::string error;
  raid.setReporter(&reporter);
  if (!configureArray(o, raid, error)) {
    printError(error);
    status = kUsage;
    return false;
  }
  if (!raid.open("raid Hard disk..")) {
    printError("cannot open the array: " + raid.lastError());
    status = kCannot;
    return false;
  }
  for (const auto& w : raid.warnings()) printError("warning: " + w);
  return true;
}

std::string arraySummary(const FileReadSeekRaid& raid) {
  std::string s = raid.memberCount == 1 && raid.raidLevel == 0
                      ? "single disk"
                      : "RAID-" + std::to_string(raid.raidLevel) + ", " +
                            std::to_string(raid.memberCount) + " members, stripe " +
                            std::to_string(raid.stripeSectors) + " sectors";
  if (raid.raidLevel == 5) s += ", " + layoutName(raid.parityLayout);
  return s + ": " + std::to_string(raid.sizeSectors()) + " sectors (" + mib(raid.sizeSectors()) + ")";
}

int cmdMembers(const ArrayOptions& o, const std::string& format) {
  TerminalReporter reporter(false);
  FileReadSeekRaid raid;
  std::string error;
  raid.setReporter(&reporter);
  if (!configureArray(o, raid, error)) {
    printError(error);
    return kUsage;
  }
  const bool tsv = format == "tsv";
  if (!tsv) std::printf("%-5s %-13s %12s %10s %8s  %s\n", "index", "kind", "sectors", "size", "offset", "path");
  int status = 0;
  for (std::size_t i = 0; i < raid.memberNames.size(); ++i) {
    const std::string& name = raid.memberNames[i];
    MemberInfo info = describeMember(name, hasVhdExtension(name));
    if (!info.error.empty()) {
      printError("member " + std::to_string(i) + ": " + info.error);
      status = kCannot;
      continue;
    }
    const std::string path = FileReadSeekRaid::isMissingName(name) ? "missing" : name;
    if (tsv)
      std::printf("%zu\t%s\t%lld\t%lld\t%s\n", i, info.kind.c_str(), static_cast<long long>(info.sectors),
                  static_cast<long long>(raid.memberOffsets[i]), path.c_str());
    else
      std::printf("%-5zu %-13s %12lld %10s %8lld  %s\n", i, info.kind.c_str(),
                  static_cast<long long>(info.sectors), mib(info.sectors).c_str(),
                  static_cast<long long>(raid.memberOffsets[i]), path.c_str());
  }
  if (status != 0) return status;
  if (!raid.open("raid Hard disk..")) {
    printError("cannot open the array: " + raid.lastError());
    return kCannot;
  }
  for (const auto& w : raid.warnings()) printError("warning: " + w);
  if (!tsv) std::printf("array: %s\n", arraySummary(raid).c_str());
  return 0;
}

struct VolumesOptions {
  DiscoveryOptions discovery;
  std::string format = "text";
};

int cmdVolumes(const ArrayOptions& o, const VolumesOptions& v) {
  TerminalReporter reporter(v.discovery.scan && stderrIsTerminal());
  FileReadSeekRaid raid;
  int status = 0;
  if (!openArray(o, raid, reporter, status)) return status;
  std::vector<VolumeRecord> list = listVolumes(raid, v.discovery, reporter);
  // What the walk had to say about damaged tables makes the run a failure, after the list.
  const int result = reporter.messageCount() > 0 ? kCannot : 0;
  if (v.format == "tsv") {
    for (const auto& r : list)
      std::printf("%s\t%s\t%s\t%lld\n", r.volumeIndex.c_str(), r.fileSystem.c_str(),
                  r.volumeSizeText.c_str(), static_cast<long long>(r.startSector));
    return result;
  }
  std::printf("%-5s %-28s %-12s %s\n", "index", "file system", "size", "start sector");
  for (const auto& r : list)
    std::printf("%-5s %-28s %-12s %lld\n", r.volumeIndex.c_str(), r.fileSystem.c_str(),
                r.volumeSizeText.c_str(), static_cast<long long>(r.startSector));
  if (list.empty()) std::printf("no volumes found\n");
  return result;
}

struct ExportOptions {
  std::string out;
  std::int64_t from = 0;
  std::int64_t count = -1;
  bool force = false;
};

int cmdExport(const ArrayOptions& o, const ExportOptions& e) {
  for (const auto& m : o.members)
    if (sameFile(m, e.out)) {
      printError("refusing to write to " + e.out + ": it is a member of the array");
      return kCannot;
    }
  if (!e.force && pathExists(e.out)) {
    printError(e.out + " exists; pass --force to replace it");
    return kCannot;
  }
  TerminalReporter reporter(stderrIsTerminal());
  FileReadSeekRaid raid;
  int status = 0;
  if (!openArray(o, raid, reporter, status)) return status;
  const std::int64_t total = raid.sizeSectors();
  if (e.from < 0 || e.from > total) {
    printError("--from " + std::to_string(e.from) + " lies outside the disk (" + std::to_string(total) + " sectors)");
    return kCannot;
  }
  const std::int64_t count = e.count < 0 ? total - e.from : e.count;
  if (count > total - e.from) {
    printError("--count " + std::to_string(count) + " from sector " + std::to_string(e.from) +
               " runs past the end of the disk (" + std::to_string(total) + " sectors)");
    return kCannot;
  }
  OutputFile out;
  if (!out.create(e.out, e.force)) {
    printError("cannot create " + out.error());
    return kCannot;
  }
  reporter.status("exporting");
  ExportResult r = exportSectors(raid, e.from, count, out, reporter);
  reporter.finish();
  if (!r.written) {
    printError("export stopped: " + r.error);
    return kCannot;
  }
  if (r.unreadSectors > 0) {
    printError(std::to_string(r.unreadSectors) + " sectors could not be read and were written as zeros, "
               "the first at sector " + std::to_string(r.firstUnreadSector) + ": " + r.error);
    return kCannot;
  }
  std::fprintf(stderr, "exported %lld sectors (%s) to %s\n", static_cast<long long>(count),
               mib(count).c_str(), e.out.c_str());
  return 0;
}

int cmdDrives() {
  for (const auto& d : listBlockDevices())
    std::printf("%-16s %12lld %10s  %s\n", d.path.c_str(), static_cast<long long>(d.sectors),
                mib(d.sectors).c_str(), d.model.c_str());
  return 0;
}

}  // namespace

int run(int argc, char** argv) {
  CLI::App app{"quarnel: recovers data from broken RAID-0 and RAID-5 arrays. Members are only "
               "ever read."};
  app.require_subcommand(1);
  app.set_help_all_flag("--help-all", "help for every command");

  ArrayOptions array;
  int status = 0;

  auto* members = app.add_subcommand("members", "each member: kind, size, probed offset, path");
  addArrayOptions(*members, array);
  std::string membersFormat = "text";
  members->add_option("--format", membersFormat, "text or tsv")->check(CLI::IsMember({"text", "tsv"}));
  members->callback([&] { status = cmdMembers(array, membersFormat); });

  auto* volumes = app.add_subcommand(
      "volumes", "the volumes on the virtual disk; exits 1 after the list when a table is damaged");
  addArrayOptions(*volumes, array);
  VolumesOptions v;
  addDiscoveryOptions(*volumes, v.discovery);
  volumes->add_option("--format", v.format, "text or tsv")->check(CLI::IsMember({"text", "tsv"}));
  volumes->callback([&] { status = cmdVolumes(array, v); });

  auto* exp = app.add_subcommand("export", "write the assembled virtual disk as a raw image");
  addArrayOptions(*exp, array);
  ExportOptions e;
  exp->add_option("--out", e.out, "the image file to write")->required();
  exp->add_option("--from", e.from, "first sector")->check(CLI::NonNegativeNumber);
  exp->add_option("--count", e.count, "number of sectors (default: to the end)")->check(CLI::NonNegativeNumber);
  exp->add_flag("--force", e.force, "replace FILE if it exists");
  exp->callback([&] { status = cmdExport(array, e); });

  auto* drives = app.add_subcommand("drives", "the whole-disk block devices of this machine");
  drives->callback([&] { status = cmdDrives(); });

  registerBrowseCommands(app, status);
  registerCarveCommands(app, status);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& err) {
    int code = app.exit(err);
    return code == 0 ? 0 : kUsage;
  }
  return status;
}

}  // namespace quarnel::cli
