// The advanced-input page's three FAT-family workers: each runs its parser's searches on a
// volume and keeps what the page's boxes offer, the candidates and the cluster sizes.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "fs/fat/fat16_class.h"
#include "fs/fat/fat32_class.h"
#include "fs/fat/fat64_class.h"
#include "platform/reporter.h"
#include "storage/read_write_interface.h"
#include "volumes/volume_record.h"

namespace quarnel {

// What the searches found, as values; the page's texts for them are made above the engine.
struct FatCandidateResults {
  std::vector<std::string> candidateItems;    // "FAT32_ENTRY:0", ...
  std::vector<std::uint64_t> candidatePositions;
  std::vector<std::string> heapItems;         // exFAT: "HEAP_OFFSET_ENTRY:0", ...
  std::vector<std::uint64_t> heapPositions;
  std::vector<std::string> clusterChoices;    // in the order offered; the first is selected
};

class Fat32CandidateWorker {
 public:
  explicit Fat32CandidateWorker(Fat32Class& parser) : parser_(parser) {}
  const FatCandidateResults& run(readWriteInterface& disk, const VolumeRecord& record, std::int64_t maximum,
                                 Reporter& reporter);
  const FatCandidateResults& results() const { return results_; }

 private:
  Fat32Class& parser_;
  FatCandidateResults results_;
};

class Fat16CandidateWorker {
 public:
  explicit Fat16CandidateWorker(Fat16Class& parser) : parser_(parser) {}
  const FatCandidateResults& run(readWriteInterface& disk, const VolumeRecord& record, std::int64_t maximum,
                                 Reporter& reporter);
  const FatCandidateResults& results() const { return results_; }

 private:
  Fat16Class& parser_;
  FatCandidateResults results_;
};

class Fat64CandidateWorker {
 public:
  explicit Fat64CandidateWorker(Fat64Class& parser) : parser_(parser) {}
  const FatCandidateResults& run(readWriteInterface& disk, const VolumeRecord& record, std::int64_t maximum,
                                 Reporter& reporter);
  const FatCandidateResults& results() const { return results_; }
  // The page was left (Back): the worker ends after its searches and offers nothing.
  void leavePage() { left_ = true; }

 private:
  Fat64Class& parser_;
  FatCandidateResults results_;
  std::atomic<bool> left_{false};
};

}  // namespace quarnel
