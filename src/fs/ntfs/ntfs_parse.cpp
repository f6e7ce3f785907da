#include "fs/ntfs/ntfs_parse.h"

namespace quarnel {

std::int64_t searchNtfsCandidates(ntfs& fs, std::int64_t maximum) {
  fs.attachSource();
  fs.readBootSector();
  return fs.findMftCandidates(maximum < 1 ? kDefaultMftCandidates : maximum);
}

bool parseNtfs(ntfs& fs, NtfsMode mode, const NtfsAdvancedChoice& choice) {
  Reporter& reporter = fs.reporter();
  switch (mode) {
    case NtfsMode::Standard:
      fs.attachSource();
      fs.readBootSector();
      fs.mode = NtfsMode::Standard;
      reporter.status(" ParsingBasedOnMFT is going on....");
      fs.locateMft();
      break;
    case NtfsMode::Deep:
      fs.attachSource();
      fs.readBootSector();
      fs.mode = NtfsMode::Deep;
      reporter.status(" scanning for mft entries in deep mode ....");
      fs.deepScan();
      break;
    case NtfsMode::Advanced:
      fs.mode = NtfsMode::Advanced;
      fs.releaseNames();
      fs.entryList.clear();
      fs.chooseMftCandidate(choice.candidate);
      if (choice.clusterSectors > 0) fs.clusterSize = static_cast<std::uint64_t>(choice.clusterSectors) * 512;
      break;
    case NtfsMode::None:
      return false;
  }
  fs.collectMftRecords();
  fs.buildTree();
  return !fs.topLevelEntries().empty();
}

}  // namespace quarnel
