// The exFAT directory walk: the root's cluster chain, then every folder below it, read
// along its FAT chain or, for a folder with the no-chain flag, over the consecutive
// clusters its length covers. A cluster is read once, so looping folders end.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "fs/fat/exfat_entry_set.h"
#include "fs/fat/fat_directory_walk.h"
#include "fs/fat/fat_geometry.h"
#include "fs/fat/fat_table.h"
#include "fs/fat/fat_volume_io.h"
#include "platform/job.h"

namespace quarnel {

class ExfatDirectoryWalker {
 public:
  ExfatDirectoryWalker(const VolumeReader& io, const FatGeometry& geo, const FatTable& fat,
                       std::vector<ExFatEntryRecord>& records, bool followChains);

  // Advanced mode: every File entry read is taken, and one taken before is not listed again.
  // Deleted folders are read at once there, before the scan's later sets claim their entries.
  void useTakenSet(std::unordered_set<std::uint64_t>* taken) {
    taken_ = taken;
    deferDeleted_ = false;
  }

  // A directory's clusters from first: its chain, or `bytes` worth of consecutive clusters
  // when contiguous (the root: contiguous false, bytes 0).
  FatDirectoryBytes readDirectory(std::uint32_t first, bool contiguous, std::uint64_t bytes);
  // The root and all below it, after the placeholder "DUMMY ENTRY" at index 0.
  void walkRoot(const FatDirectoryBytes& root);
  // A folder record's directory; deleted folders wait for readDeferredFolders, so a live
  // folder keeps the clusters a deleted one once had.
  void readFolder(std::int32_t folder);
  void readDeferredFolders();

  std::optional<std::uint64_t> bitmapPosition() const { return bitmap_; }

  // A stopped job reads no further folder: the walk ends with what it has listed.
  void useJob(JobControl* job) { job_ = job; }

 private:
  JobControl* job_ = nullptr;
  void readFolderAt(std::int32_t folder, int depth);
  void processSets(const FatDirectoryBytes& d, std::int32_t parent, bool root, int depth);
  std::int32_t append(ExFatEntryRecord rec);

  const VolumeReader& io_;
  const FatGeometry& geo_;
  const FatTable& fat_;
  std::vector<ExFatEntryRecord>& records_;
  bool followChains_;
  std::unordered_set<std::uint64_t>* taken_ = nullptr;
  bool deferDeleted_ = true;
  std::unordered_set<std::uint32_t> readClusters_;
  std::vector<std::pair<std::int32_t, int>> deferred_;
  std::optional<std::uint64_t> bitmap_;
};

}  // namespace quarnel
