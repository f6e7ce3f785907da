#include "fs/fat/exfat_directory_walk.h"

#include <algorithm>

#include "fs/fat/fat_entry_record.h"

namespace quarnel {
namespace {

constexpr std::size_t kSlot = 32;
// Far more than any real folder holds (exFAT allows 256 MiB); it bounds what a damaged
// chain or length can make the walk read.
constexpr std::uint64_t kMaxDirectoryBytes = 32 << 20;
constexpr int kMaxDepth = 256;

}  // namespace

ExfatDirectoryWalker::ExfatDirectoryWalker(const VolumeReader& io, const FatGeometry& geo, const FatTable& fat,
                                           std::vector<ExFatEntryRecord>& records, bool followChains)
    : io_(io), geo_(geo), fat_(fat), records_(records), followChains_(followChains) {}

std::int32_t ExfatDirectoryWalker::append(ExFatEntryRecord rec) {
  rec.self = static_cast<std::int32_t>(records_.size());
  records_.push_back(std::move(rec));
  return records_.back().self;
}

FatDirectoryBytes ExfatDirectoryWalker::readDirectory(std::uint32_t first, bool contiguous, std::uint64_t bytes) {
  FatDirectoryBytes d;
  d.pieceBytes = geo_.clusterSize;
  if (job_ && job_->shouldStop()) return d;
  std::uint64_t maxClusters = std::max<std::uint64_t>(1, kMaxDirectoryBytes / geo_.clusterSize);
  if (bytes != 0) maxClusters = std::min(maxClusters, (bytes + geo_.clusterSize - 1) / geo_.clusterSize);
  std::uint32_t c = first;
  while (geo_.validCluster(c) && d.clusters.size() < maxClusters) {
    if (geo_.clusterOffset(c) >= io_.size()) break;
    // A run cannot loop, so only its first cluster is claimed: a length that is too long
    // must not hide the folders lying behind it. It stops at a folder read before.
    if (!contiguous || c == first) {
      if (!readClusters_.insert(c).second) break;
    } else if (readClusters_.count(c)) {
      break;
    }
    d.clusters.push_back(c);
    d.pieceOffsets.push_back(geo_.clusterOffset(c));
    if (contiguous) c = c + 1;
    else c = followChains_ ? fat_.next(c) : 0;
  }
  d.bytes.resize(static_cast<std::size_t>(d.pieceOffsets.size() * d.pieceBytes));
  for (std::size_t i = 0; i < d.pieceOffsets.size(); ++i)
    io_.read(d.pieceOffsets[i], MutableByteSpan(d.bytes).subspan(i * d.pieceBytes, d.pieceBytes));
  return d;
}

void ExfatDirectoryWalker::walkRoot(const FatDirectoryBytes& root) {
  for (std::uint32_t c : root.clusters) readClusters_.insert(c);
  ExFatEntryRecord dummy;
  dummy.entryType = kExfatFile;
  dummy.attributes = 0x10;
  dummy.name = kDummyEntryName;
  append(std::move(dummy));
  if (root.pieceBytes != 0) processSets(root, 0, true, 0);
}

void ExfatDirectoryWalker::readFolder(std::int32_t folder) {
  if (records_[static_cast<std::size_t>(folder)].deleted() && deferDeleted_) deferred_.emplace_back(folder, 1);
  else readFolderAt(folder, 1);
}

void ExfatDirectoryWalker::readDeferredFolders() {
  for (std::size_t i = 0; i < deferred_.size(); ++i) {
    const auto [folder, depth] = deferred_[i];  // the list grows while it is read
    readFolderAt(folder, depth);
  }
  deferred_.clear();
}

void ExfatDirectoryWalker::readFolderAt(std::int32_t folder, int depth) {
  if (depth > kMaxDepth) return;
  const ExFatEntryRecord& r = records_[static_cast<std::size_t>(folder)];
  // A deleted folder's freed chain leaves its clusters where they were.
  const bool contiguous = r.contiguous() || (r.deleted() && fat_.entry(r.firstCluster) == 0);
  const FatDirectoryBytes d = readDirectory(r.firstCluster, contiguous, r.dataLength);
  if (!d.clusters.empty()) processSets(d, folder, false, depth);
}

void ExfatDirectoryWalker::processSets(const FatDirectoryBytes& d, std::int32_t parent, bool root, int depth) {
  std::unordered_map<std::uint32_t, std::int32_t> byCluster;
  const std::size_t perPiece = static_cast<std::size_t>(d.pieceBytes / kSlot);
  std::size_t piece = 0;
  for (std::size_t i = 0; i < d.slots();) {
    if (!root && i / perPiece != piece) {
      piece = i / perPiece;
      byCluster.clear();
    }
    const std::uint8_t type = u8(d.bytes, i * kSlot);
    if (type == kExfatBitmap && !bitmap_) bitmap_ = d.position(i);
    if (type != kExfatFile && type != kExfatFileDeleted) {
      ++i;
      continue;
    }
    if (taken_ != nullptr && !taken_->insert(d.position(i)).second) {
      ++i;
      continue;
    }
    ExFatEntryRecord rec;
    i = readExfatEntrySet(d.bytes, i, rec);
    rec.parent = parent;
    if (!isExfatFolderAttribute(rec.attributes)) {
      append(std::move(rec));
      continue;
    }
    if (rec.firstCluster != 0) {
      auto it = byCluster.find(rec.firstCluster);
      if (it != byCluster.end()) {
        // The later set names the folder, unless a deleted one would hide a live one.
        ExFatEntryRecord& earlier = records_[static_cast<std::size_t>(it->second)];
        if (!(rec.deleted() && !earlier.deleted())) {
          earlier.name = std::move(rec.name);
          earlier.entryType = rec.entryType;
        }
        continue;
      }
    }
    const std::uint32_t cluster = rec.firstCluster;
    const std::int32_t index = append(std::move(rec));
    if (cluster != 0) byCluster[cluster] = index;
    if (records_[static_cast<std::size_t>(index)].deleted() && deferDeleted_) deferred_.emplace_back(index, depth + 1);
    else readFolderAt(index, depth + 1);
  }
}

}  // namespace quarnel
