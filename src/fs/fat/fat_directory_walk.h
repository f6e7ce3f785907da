// The FAT12/16/32 directory walk: the root, then every folder below it, each record
// appended to the entry list with its parent's index. Folders are read along their
// chains; a cluster is read once, so cross-linked and looping folders end.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "fs/fat/fat_entry_record.h"
#include "fs/fat/fat_geometry.h"
#include "fs/fat/fat_table.h"
#include "fs/fat/fat_volume_io.h"
#include "platform/job.h"

namespace quarnel {

// A directory's bytes as read: pieces of pieceBytes each (its clusters, or one fixed root
// region), and where each piece lies in the volume.
struct FatDirectoryBytes {
  std::vector<std::byte> bytes;
  std::vector<std::uint64_t> pieceOffsets;
  std::uint64_t pieceBytes = 0;
  std::vector<std::uint32_t> clusters;  // the clusters the pieces came from, if any

  std::uint64_t position(std::size_t slot) const;
  std::size_t slots() const { return bytes.size() / kDirEntrySize; }
};

// A FAT directory holds at most 65,536 entries.
inline constexpr std::uint64_t kMaxFatDirectoryBytes = 65536 * kDirEntrySize;

FatDirectoryBytes readFatRegion(const VolumeReader& io, std::uint64_t offset, std::uint64_t size);

// Where the parsers' directory readers differ.
struct FatWalkRules {
  bool zeroEndsCluster = true;          // a free slot ends a subfolder's cluster (FAT32)
  bool renameSameCluster = true;        // two folders of one cluster with one first cluster are one record
  bool takenEndsCluster = false;        // advanced FAT16: a slot listed before ends the cluster
  bool attributeCdEndsCluster = false;  // advanced FAT32: a slot with attribute 0xCD ends the cluster
};

class FatDirectoryWalker {
 public:
  FatDirectoryWalker(const VolumeReader& io, const FatGeometry& geo, const FatTable& fat,
                     std::vector<FatEntryRecord>& records, FatWalkRules rules, bool followChains);

  // Advanced mode: every slot read is taken, and a slot taken before is not listed again.
  // Deleted folders are read at once there, before the scan's later slots claim their
  // entries.
  void useTakenSet(std::unordered_set<std::uint64_t>* taken) {
    taken_ = taken;
    deferDeleted_ = false;
  }

  // The clusters of a chain from first (only first when chains are not followed), each
  // read once in this walk, at most one directory's worth.
  FatDirectoryBytes readChain(std::uint32_t first);
  // The root and all below it; the first record is "DUMMY ENTRY", made of the root's first
  // slot.
  void walkRoot(const FatDirectoryBytes& root);
  // The folder record's directory; its first cluster must open with a dot entry. Deleted
  // folders are read by readDeferredFolders, after the live ones, so a live folder keeps
  // the clusters a deleted one once had.
  void readFolder(std::int32_t folder, std::uint32_t firstCluster, bool deleted);
  void readDeferredFolders();

  // A stopped job reads no further folder: the walk ends with what it has listed.
  void useJob(JobControl* job) { job_ = job; }

 private:
  JobControl* job_ = nullptr;
  struct Deferred {
    std::int32_t folder;
    std::uint32_t cluster;
    int depth;
  };

  void readFolderAt(std::int32_t folder, std::uint32_t firstCluster, int depth);
  void processSlots(const FatDirectoryBytes& d, std::int32_t parent, bool root, int depth);
  void addFolder(FatEntryRecord rec, bool root, std::unordered_map<std::uint32_t, std::int32_t>& byCluster,
                 int depth);
  std::int32_t append(FatEntryRecord rec);

  const VolumeReader& io_;
  const FatGeometry& geo_;
  const FatTable& fat_;
  std::vector<FatEntryRecord>& records_;
  FatWalkRules rules_;
  bool followChains_;
  std::unordered_set<std::uint64_t>* taken_ = nullptr;
  bool deferDeleted_ = true;
  std::unordered_set<std::uint32_t> readClusters_;
  std::vector<Deferred> deferred_;
};

}  // namespace quarnel
