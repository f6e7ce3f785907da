#include "recovery/ntfs_volume.h"

#include "fs/ntfs/ntfs_parse.h"
#include "recovery/ntfs_view.h"
#include "recovery/recycled_names.h"

namespace quarnel {
namespace {

class NtfsVolume : public ParsedVolume {
 public:
  NtfsVolume(readWriteInterface& disk, const VolumeRecord& record, Reporter& reporter)
      : fs(disk, record, reporter) {}
  EntryView& view() override { return *view_; }
  void releaseJob() override { fs.setJob(nullptr); }

  ntfs fs;
  std::unique_ptr<NtfsView> view_;
};

NtfsMode modeOf(RecoveryMode m) {
  switch (m) {
    case RecoveryMode::Advanced: return NtfsMode::Advanced;
    case RecoveryMode::Deep: return NtfsMode::Deep;
    default: return NtfsMode::Standard;
  }
}

}  // namespace

std::unique_ptr<ParsedVolume> parseNtfsVolume(readWriteInterface& disk, const VolumeRecord& record,
                                              const ParseOptions& options, Reporter& reporter, std::string& error) {
  auto volume = std::make_unique<NtfsVolume>(disk, record, reporter);
  volume->fs.setJob(options.job);
  const NtfsMode mode = modeOf(options.mode);
  NtfsAdvancedChoice choice;
  if (mode == NtfsMode::Advanced) {
    const std::int64_t wanted = std::max<std::int64_t>(options.candidate + 1, kDefaultMftCandidates);
    const std::int64_t found = searchNtfsCandidates(volume->fs, wanted);
    if (options.candidate >= found) {
      error = "there " + std::string(found == 1 ? "is " : "are ") + std::to_string(found) +
              " MFT candidate" + (found == 1 ? "" : "s") + ", no candidate " +
              std::to_string(options.candidate) + " (see `quarnel candidates`)";
      return nullptr;
    }
    choice.candidate = options.candidate;
    choice.clusterSectors = options.clusterSectors;
  }
  // Nothing listed means no NTFS here: not even a record of the MFT was found.
  if (!parseNtfs(volume->fs, mode, choice)) {
    error = mode == NtfsMode::Deep ? "no MFT record found on the volume"
                                   : "no NTFS boot sector at sector " + std::to_string(record.startSector) +
                                         ", and no MFT record found on the volume";
    return nullptr;
  }
  volume->view_ = std::make_unique<NtfsView>(volume->fs);
  restoreRecycledNames(*volume->view_);
  return volume;
}

bool listNtfsCandidates(readWriteInterface& disk, const VolumeRecord& record, int maximum,
                        Reporter& reporter, CandidateList& out, std::string& error) {
  ntfs fs(disk, record, reporter);
  const std::int64_t n = searchNtfsCandidates(fs, maximum);
  if (n == 0) {
    error = "no MFT candidate found on the volume";
    return false;
  }
  for (std::int64_t i = 0; i < n && i < static_cast<std::int64_t>(fs.mftCandidates.size()); ++i)
    out.lines.push_back("MFT_ENTRY:" + std::to_string(i) + "\tat byte " +
                        std::to_string(fs.mftCandidates[static_cast<std::size_t>(i)].position) +
                        " of the volume");
  for (int c : kNtfsClusterSectorChoices) out.clusterChoices.push_back(std::to_string(c));
  return true;
}

}  // namespace quarnel
