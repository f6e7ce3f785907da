#include "fs/fat/fat_directory_walk.h"

#include <algorithm>

namespace quarnel {
namespace {

constexpr int kMaxDepth = 256;  // far deeper than a 260-character path allows
constexpr std::uint8_t kAttributeCd = 0xCD;

}  // namespace

std::uint64_t FatDirectoryBytes::position(std::size_t slot) const {
  const std::uint64_t at = std::uint64_t{slot} * kDirEntrySize;
  return pieceOffsets[static_cast<std::size_t>(at / pieceBytes)] + at % pieceBytes;
}

FatDirectoryBytes readFatRegion(const VolumeReader& io, std::uint64_t offset, std::uint64_t size) {
  FatDirectoryBytes d;
  size = std::min(size, kMaxFatDirectoryBytes) / kDirEntrySize * kDirEntrySize;
  if (size == 0) return d;
  d.bytes.resize(static_cast<std::size_t>(size));
  io.read(offset, d.bytes);
  d.pieceOffsets = {offset};
  d.pieceBytes = size;
  return d;
}

FatDirectoryWalker::FatDirectoryWalker(const VolumeReader& io, const FatGeometry& geo,
                                       const FatTable& fat, std::vector<FatEntryRecord>& records,
                                       FatWalkRules rules, bool followChains)
    : io_(io), geo_(geo), fat_(fat), records_(records), rules_(rules), followChains_(followChains) {}

std::int32_t FatDirectoryWalker::append(FatEntryRecord rec) {
  rec.self = static_cast<std::int32_t>(records_.size());
  records_.push_back(std::move(rec));
  return records_.back().self;
}

FatDirectoryBytes FatDirectoryWalker::readChain(std::uint32_t first) {
  FatDirectoryBytes d;
  d.pieceBytes = geo_.clusterSize;
  if (job_ && job_->shouldStop()) return d;
  const std::uint64_t maxClusters = std::max<std::uint64_t>(1, kMaxFatDirectoryBytes / geo_.clusterSize);
  for (std::uint32_t c = first; geo_.validCluster(c) && d.clusters.size() < maxClusters;
       c = followChains_ ? fat_.next(c) : 0) {
    if (geo_.clusterOffset(c) >= io_.size() || !readClusters_.insert(c).second) break;
    d.clusters.push_back(c);
    d.pieceOffsets.push_back(geo_.clusterOffset(c));
  }
  d.bytes.resize(static_cast<std::size_t>(d.pieceOffsets.size() * d.pieceBytes));
  for (std::size_t i = 0; i < d.pieceOffsets.size(); ++i)
    io_.read(d.pieceOffsets[i], MutableByteSpan(d.bytes).subspan(i * d.pieceBytes, d.pieceBytes));
  return d;
}

void FatDirectoryWalker::walkRoot(const FatDirectoryBytes& root) {
  for (std::uint32_t c : root.clusters) readClusters_.insert(c);
  FatEntryRecord dummy = FatEntryRecord::fromEntry(FatShortEntry::decode(root.bytes));
  dummy.name = kDummyEntryName;
  dummy.parent = 0;
  append(std::move(dummy));
  if (root.pieceBytes != 0) processSlots(root, 0, true, 0);
}

void FatDirectoryWalker::readFolder(std::int32_t folder, std::uint32_t firstCluster, bool deleted) {
  if (deleted && deferDeleted_) deferred_.push_back({folder, firstCluster, 1});
  else readFolderAt(folder, firstCluster, 1);
}

void FatDirectoryWalker::readDeferredFolders() {
  for (std::size_t i = 0; i < deferred_.size(); ++i) {
    const Deferred d = deferred_[i];  // the list grows while it is read
    readFolderAt(d.folder, d.cluster, d.depth);
  }
  deferred_.clear();
}

void FatDirectoryWalker::readFolderAt(std::int32_t folder, std::uint32_t first, int depth) {
  if (!geo_.validCluster(first) || depth > kMaxDepth || readClusters_.count(first)) return;
  if (geo_.clusterOffset(first) >= io_.size()) return;
  std::vector<std::byte> head(static_cast<std::size_t>(geo_.clusterSize));
  io_.read(geo_.clusterOffset(first), head);
  // A folder's first cluster opens with ".": anything else is not a directory.
  if (u8(head, 0) != '.') {
    readClusters_.insert(first);
    return;
  }
  const FatDirectoryBytes d = readChain(first);
  if (!d.clusters.empty()) processSlots(d, folder, false, depth);
}

void FatDirectoryWalker::processSlots(const FatDirectoryBytes& d, std::int32_t parent, bool root, int depth) {
  LongNameRun run;
  std::unordered_map<std::uint32_t, std::int32_t> byCluster;
  const std::size_t perPiece = static_cast<std::size_t>(d.pieceBytes / kDirEntrySize);
  const auto endOfPiece = [&](std::size_t i) { return (i / perPiece + 1) * perPiece; };
  std::size_t skipUntil = 0;
  for (std::size_t i = 0; i < d.slots(); ++i) {
    if (!root && i % perPiece == 0) byCluster.clear();
    if (i < skipUntil) continue;
    const ByteSpan slot = ByteSpan(d.bytes).subspan(i * kDirEntrySize, kDirEntrySize);
    const std::uint8_t first = u8(slot, 0);
    if (taken_ != nullptr && first != kEntryEnd && !taken_->insert(d.position(i)).second) {
      run.clear();
      if (rules_.takenEndsCluster) skipUntil = endOfPiece(i);
      continue;
    }
    if (first == kEntryEnd) {
      run.clear();
      if (!root && rules_.zeroEndsCluster) skipUntil = endOfPiece(i);
      continue;
    }
    const std::uint8_t attribute = u8(slot, 11);
    if (attribute == kLongNameAttribute) {
      run.add(slot);
      continue;
    }
    if (rules_.attributeCdEndsCluster && attribute == kAttributeCd) {
      run.clear();
      skipUntil = endOfPiece(i);
      continue;
    }
    const FatShortEntry e = FatShortEntry::decode(slot);
    if (e.dotEntry()) {
      run.clear();
      continue;
    }
    const std::string longName = run.nameFor(e);
    FatEntryRecord rec = FatEntryRecord::fromEntry(e);
    rec.deleted = e.deleted() || (!longName.empty() && run.deleted());
    rec.name = longName.empty() ? fatShortName(e) : longName;
    rec.parent = parent;
    run.clear();
    if (isFatFolderAttribute(attribute)) addFolder(std::move(rec), root, byCluster, depth);
    else append(std::move(rec));
  }
}

void FatDirectoryWalker::addFolder(FatEntryRecord rec, bool root,
                                   std::unordered_map<std::uint32_t, std::int32_t>& byCluster, int depth) {
  const std::uint32_t cluster = rec.firstCluster();
  if ((root || rules_.renameSameCluster) && cluster != 0) {
    auto it = byCluster.find(cluster);
    if (it != byCluster.end()) {
      // The later entry names the folder, unless a deleted one would hide a live one.
      FatEntryRecord& earlier = records_[static_cast<std::size_t>(it->second)];
      if (!(rec.deleted && !earlier.deleted)) {
        earlier.name = std::move(rec.name);
        earlier.deleted = rec.deleted;
      }
      return;
    }
  }
  const bool deleted = rec.deleted;
  const std::int32_t index = append(std::move(rec));
  if (cluster != 0) byCluster[cluster] = index;
  if (deleted && deferDeleted_) deferred_.push_back({index, cluster, depth + 1});
  else readFolderAt(index, cluster, depth + 1);
}

}  // namespace quarnel
