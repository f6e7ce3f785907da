// How commands find the volumes of the virtual disk, and the VOLUME options that pick one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/volume_choice.h"
#include "cli/terminal_reporter.h"
#include "storage/read_write_interface.h"
#include "volumes/volume_record.h"

namespace quarnel::cli {

using DiscoveryOptions = app::DiscoverySettings;
using VolumeOptions = app::VolumeChoice;
using app::fileSystemName;

// --gpt, --scan, --from, --to, --no-skip.
void addDiscoveryOptions(CLI::App& command, DiscoveryOptions& options);

// The volume list as `volumes` prints it (indexes renumbered from 0).
std::vector<VolumeRecord> listVolumes(readWriteInterface& disk, const DiscoveryOptions& options,
                                      TerminalReporter& reporter);

// -v/--volume, --start, --fs, --size, --mode, and the discovery options.
void addVolumeOptions(CLI::App& command, VolumeOptions& options);

// The record the options name. False with a reason (and the exit status to use) when
// they name none.
bool resolveVolume(readWriteInterface& disk, const VolumeOptions& options,
                   TerminalReporter& reporter, VolumeRecord& record, std::string& error,
                   int& status);

}  // namespace quarnel::cli
