#include "fs/fat/fat_candidate_workers.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace quarnel {
namespace {

constexpr std::uint64_t kMiB = 1048576;

int limitOf(std::int64_t maximum) { return static_cast<int>(std::clamp<std::int64_t>(maximum, 0, INT_MAX)); }

std::vector<std::string> items(const char* format, std::size_t n) {
  std::vector<std::string> out;
  char text[48];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(text, sizeof text, format, static_cast<int>(i));
    out.emplace_back(text);
  }
  return out;
}

// The boot sector's (or its backup's) sectors per cluster leads the list when it is even.
std::vector<std::string> clusterChoices(const std::optional<FatGeometry>& boot, std::vector<std::string> rest) {
  if (boot && boot->sectorsPerCluster != 0 && boot->sectorsPerCluster % 2 == 0)
    rest.insert(rest.begin(), std::to_string(boot->sectorsPerCluster));
  return rest;
}

template <class Parser>
void attach(Parser& parser, readWriteInterface& disk, const VolumeRecord& record, Reporter& reporter) {
  parser.setReporter(&reporter);
  parser.attachSource(disk, record.startSector);
  // A custom volume without a size runs to the end of the disk.
  std::uint64_t bytes = static_cast<std::uint64_t>(volumeSizeMiB(record)) * kMiB;
  if (bytes == 0 && disk.sizeSectors() > record.startSector)
    bytes = static_cast<std::uint64_t>(disk.sizeSectors() - record.startSector) * 512;
  parser.setVolumeSize(bytes);
}

}  // namespace

const FatCandidateResults& Fat32CandidateWorker::run(readWriteInterface& disk, const VolumeRecord& record,
                                                     std::int64_t maximum, Reporter& reporter) {
  results_ = {};
  attach(parser_, disk, record, reporter);
  parser_.checkBootSector();
  parser_.candidates() = parser_.findFatCandidates(limitOf(maximum));
  results_.candidatePositions = parser_.candidates();
  results_.candidateItems = items("FAT32_ENTRY:%d", results_.candidatePositions.size());
  results_.clusterChoices = clusterChoices(parser_.bootGeometry(), {"2", "4", "16", "32", "64", "8"});
  return results_;
}

const FatCandidateResults& Fat16CandidateWorker::run(readWriteInterface& disk, const VolumeRecord& record,
                                                     std::int64_t maximum, Reporter& reporter) {
  results_ = {};
  attach(parser_, disk, record, reporter);
  parser_.checkBootSector();
  reporter.status("Finding Fat entries....");
  parser_.candidates() = parser_.findFatCandidates(limitOf(maximum));
  results_.candidatePositions = parser_.candidates();
  results_.candidateItems = items("FAT_ENTRY:%d", results_.candidatePositions.size());
  results_.clusterChoices = clusterChoices(parser_.bootGeometry(), {"4", "8", "16", "2", "32", "64", "128"});
  return results_;
}

const FatCandidateResults& Fat64CandidateWorker::run(readWriteInterface& disk, const VolumeRecord& record,
                                                     std::int64_t maximum, Reporter& reporter) {
  results_ = {};
  attach(parser_, disk, record, reporter);
  parser_.checkBootSector();
  reporter.status("Finding Fat64 entries....");
  results_.candidatePositions = parser_.findFatCandidates(limitOf(maximum));
  results_.heapPositions = parser_.findHeapCandidates(limitOf(maximum));
  if (left_) return results_;
  // The boot sector (or its backup) knows the heap: its offset comes first, even when the
  // search found none.
  const auto& boot = parser_.bootGeometry();
  if (boot) {
    if (results_.heapPositions.empty()) results_.heapPositions.push_back(boot->dataOffset);
    else results_.heapPositions.front() = boot->dataOffset;
  }
  results_.candidateItems = items("FAT64_ENTRY:%d", results_.candidatePositions.size());
  results_.heapItems = items("HEAP_OFFSET_ENTRY:%d", results_.heapPositions.size());
  if (boot) {
    int exponent = 0;
    while ((std::uint64_t{512} << exponent) < boot->clusterSize) ++exponent;
    results_.clusterChoices.push_back(std::to_string(exponent));
  }
  for (const char* e : {"8", "9", "10", "11"}) results_.clusterChoices.emplace_back(e);
  return results_;
}

}  // namespace quarnel
