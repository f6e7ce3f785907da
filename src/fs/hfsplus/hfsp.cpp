#include "fs/hfsplus/hfsp.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

#include "storage/extent_stream.h"

namespace quarnel {
namespace {

constexpr std::uint64_t kReadChunk = 1 << 20;
constexpr std::uint64_t kScanChunk = 52428800;  // 50 MiB
constexpr std::uint64_t kScanStepUnknown = 512;
constexpr std::uint64_t kLargestNode = 32768;
constexpr std::uint64_t kHeaderProbe = 512;  // node 0's descriptor and header record fit in it

std::string printed(const char* format, long long a) {
  char buf[96];
  std::snprintf(buf, sizeof buf, format, a);
  return buf;
}

std::string printed(const char* format, long long a, long long b) {
  char buf[128];
  std::snprintf(buf, sizeof buf, format, a, b);
  return buf;
}

std::uint64_t blocksIn(const std::vector<hfs::Extent>& extents) {
  std::uint64_t n = 0;
  for (const hfs::Extent& e : extents) n += e.count;
  return n;
}

}  // namespace

HFSP::HFSP(readWriteInterface& source, const VolumeRecord& record, Reporter& reporter)
    : source_(source), record_(record), reporter_(reporter) {}

bool HFSP::takeStop() { return job_->shouldStop(); }

bool HFSP::readVolume(std::uint64_t position, MutableByteSpan out) {
  if (volumeBytes_ && (position > volumeBytes_ || out.size() > volumeBytes_ - position)) {
    // What lies inside the volume is read; the rest stays zero.
    std::fill(out.begin(), out.end(), std::byte{0});
    if (position < volumeBytes_)
      source_.readAt(source_.baseOffset + static_cast<std::int64_t>(position),
                     out.first(static_cast<std::size_t>(volumeBytes_ - position)));
    return false;
  }
  return source_.readAt(source_.baseOffset + static_cast<std::int64_t>(position), out);
}

bool HFSP::readFork(const std::vector<hfs::Extent>& extents, std::uint64_t offset, MutableByteSpan out) {
  std::fill(out.begin(), out.end(), std::byte{0});
  std::uint64_t forkPos = 0;
  std::size_t done = 0;
  bool ok = true;
  for (const hfs::Extent& e : extents) {
    if (done == out.size()) break;
    const std::uint64_t bytes = std::uint64_t{e.count} * blockSize_;
    const std::uint64_t want = offset + done;
    if (want < forkPos + bytes) {
      const std::uint64_t into = want - forkPos;
      const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(bytes - into, out.size() - done));
      ok &= readVolume(std::uint64_t{e.start} * blockSize_ + into, out.subspan(done, piece));
      done += piece;
    }
    forkPos += bytes;
  }
  return ok && done == out.size();
}

void HFSP::attachSource() {
  source_.baseOffset = record_.startSector * kSectorSize;
}

bool HFSP::readVolumeHeader() {
  std::vector<std::byte> buf(hfs::kVolumeHeaderSize);
  readVolume(hfs::kVolumeHeaderOffset, buf);
  header_ = hfs::VolumeHeader::decode(buf);
  blockSize_ = hfs::validBlockSize(header_.blockSize) ? header_.blockSize : 0;
  volumeBytes_ = volumeReadLimit(record_, source_.sizeSectors());
  if (volumeBytes_ == 0 && blockSize_) volumeBytes_ = std::uint64_t{header_.totalBlocks} * blockSize_;
  return true;
}

bool HFSP::listNodes(Tree& tree, std::vector<hfs::HfsNodeInfo>& nodes, bool progress) {
  nodes.clear();
  if (blockSize_ == 0 || tree.extents.empty()) return false;
  std::vector<std::byte> probe(kHeaderProbe);
  readFork(tree.extents, 0, probe);
  const hfs::NodeDescriptor d0 = hfs::NodeDescriptor::decode(probe);
  const hfs::HeaderRecord h = hfs::HeaderRecord::decode(probe);
  if (!d0.validKind() || d0.recordCount == 0 || !hfs::validNodeSize(h.nodeSize)) return false;
  tree.nodeSize = h.nodeSize;
  // The header's count is bounded by what the file's extents hold.
  tree.totalNodes = std::min<std::uint64_t>(h.totalNodes, blocksIn(tree.extents) * blockSize_ / h.nodeSize);
  if (progress) reporter_.progressRange(0, static_cast<std::int64_t>(tree.totalNodes));
  const std::uint64_t perChunk = std::max<std::uint64_t>(1, kReadChunk / tree.nodeSize);
  std::vector<std::byte> buf;
  for (std::uint64_t first = 0; first < tree.totalNodes; first += perChunk) {
    if (takeStop()) break;  // the nodes read so far are kept
    if (progress) reporter_.progressPosition(static_cast<std::int64_t>(first));
    const std::uint64_t count = std::min(perChunk, tree.totalNodes - first);
    buf.assign(count * tree.nodeSize, std::byte{0});
    readFork(tree.extents, first * tree.nodeSize, buf);
    for (std::uint64_t i = 0; i < count; ++i) {
      ByteSpan node = ByteSpan(buf).subspan(i * tree.nodeSize, tree.nodeSize);
      const hfs::NodeDescriptor d = hfs::NodeDescriptor::decode(node);
      if (!d.validKind() || d.recordCount == 0) continue;
      hfs::HfsNodeInfo info;
      info.nodeNumber = first + i;
      info.kind = d.kind;
      info.height = d.height;
      info.recordCount = d.recordCount;
      info.nodeSize = tree.nodeSize;
      info.offsets = hfs::recordOffsets(node, d.recordCount);
      nodes.push_back(std::move(info));
    }
  }
  return true;
}

bool HFSP::readNode(const hfs::HfsNodeInfo& info, std::vector<std::byte>& node) {
  node.assign(info.nodeSize, std::byte{0});
  if (scanMode_) return readVolume(info.position, node);
  return readFork(catalog_.extents, info.nodeNumber * info.nodeSize, node);
}

bool HFSP::readExtentsOverflow() {
  overflowMap_.clear();
  extents_.extents = hfs::usedExtents(header_.extentsFile.extents);
  if (!listNodes(extents_, extentNodes_, false)) return false;
  std::vector<std::byte> node;
  for (const hfs::HfsNodeInfo& info : extentNodes_) {
    if (info.kind != hfs::kLeafNode) continue;
    node.assign(info.nodeSize, std::byte{0});
    readFork(extents_.extents, info.nodeNumber * info.nodeSize, node);
    for (std::size_t k = 0; k < info.offsets.size(); ++k) {
      hfs::OverflowRecord r;
      if (!hfs::decodeOverflowRecord(node, info.offsets[k], hfs::recordEnd(node, info.offsets, k), r)) continue;
      // Resource-fork records share the keys; only the data fork is saved.
      if (r.forkType == hfs::kDataFork) overflowMap_.emplace(std::make_pair(r.fileId, r.startBlock), r);
    }
  }
  return true;
}

bool HFSP::readCatalogNodes() {
  catalog_.extents = hfs::usedExtents(header_.catalogFile.extents);
  std::uint64_t listed = blocksIn(catalog_.extents);
  if (listed < header_.catalogFile.totalBlocks)
    overflowExtents(hfs::kCatalogFileId, listed, header_.catalogFile.totalBlocks, catalog_.extents);
  if (!listNodes(catalog_, catalogNodes_, true)) return false;
  keepLiveLeaves();
  return true;
}

// A freed node keeps the records it held, and an older copy of a record may sit in one: the
// live catalog is what the tree reaches from its root, leaf by leaf in key order. When the
// root leads nowhere the leaves' forward links from the first leaf are followed; when they
// fail too, every node stays (with a warning), as nothing better is known.
void HFSP::keepLiveLeaves() {
  std::unordered_map<std::uint64_t, std::size_t> byNumber;
  for (std::size_t i = 0; i < catalogNodes_.size(); ++i) byNumber.emplace(catalogNodes_[i].nodeNumber, i);
  std::vector<std::byte> probe(kHeaderProbe);
  readFork(catalog_.extents, 0, probe);
  const hfs::HeaderRecord h = hfs::HeaderRecord::decode(probe);
  std::vector<std::size_t> leaves;
  std::unordered_set<std::uint64_t> seen;
  std::vector<std::byte> node;
  // Depth first, children in record order, so that leaves come out in key order.
  std::vector<std::uint64_t> stack;
  if (h.rootNode != 0) stack.push_back(h.rootNode);
  while (!stack.empty()) {
    const std::uint64_t n = stack.back();
    stack.pop_back();
    auto it = byNumber.find(n);
    if (it == byNumber.end() || !seen.insert(n).second) continue;
    const hfs::HfsNodeInfo& info = catalogNodes_[it->second];
    if (info.kind == hfs::kLeafNode) {
      leaves.push_back(it->second);
      continue;
    }
    if (info.kind != hfs::kIndexNode) continue;
    readNode(info, node);
    for (std::size_t k = info.offsets.size(); k-- > 0;)
      if (auto child = hfs::indexRecordChild(node, info.offsets[k], hfs::recordEnd(node, info.offsets, k)))
        stack.push_back(*child);
  }
  if (leaves.empty()) {
    seen.clear();
    for (std::uint64_t n = h.firstLeafNode; n != 0 && seen.insert(n).second;) {
      auto it = byNumber.find(n);
      if (it == byNumber.end() || catalogNodes_[it->second].kind != hfs::kLeafNode) break;
      leaves.push_back(it->second);
      readNode(catalogNodes_[it->second], node);
      n = hfs::NodeDescriptor::decode(node).forwardLink;
    }
  }
  if (leaves.empty()) {
    reporter_.warning(WarningKind::Damaged,
                      "The catalog B-tree cannot be walked from its root or its first leaf; every catalog "
                      "node is read, freed ones too");
    return;
  }
  std::vector<hfs::HfsNodeInfo> live;
  live.reserve(leaves.size());
  for (std::size_t i : leaves) live.push_back(std::move(catalogNodes_[i]));
  catalogNodes_ = std::move(live);
}

bool HFSP::scanCatalogLeaves() {
  scanMode_ = true;
  catalogNodes_.clear();
  hfs::LeafScanOptions options;
  options.step = blockSize_ ? blockSize_ : kScanStepUnknown;
  catalog_.extents = hfs::usedExtents(header_.catalogFile.extents);
  if (blockSize_ && !catalog_.extents.empty()) {
    std::vector<std::byte> probe(kHeaderProbe);
    readFork(catalog_.extents, 0, probe);
    const hfs::HeaderRecord h = hfs::HeaderRecord::decode(probe);
    if (hfs::NodeDescriptor::decode(probe).kind == hfs::kHeaderNode && hfs::validNodeSize(h.nodeSize))
      options.nodeSize = h.nodeSize;
  }
  const std::uint64_t volumeBytes = volumeReadLimit(record_, source_.sizeSectors());
  const std::uint64_t volumeBlocks = volumeBytes / options.step;
  if (volumeBlocks == 0) {
    reporter_.status("BlockSize not valid .Aborting..");
    return false;
  }
  reporter_.progressRange(0, static_cast<std::int64_t>(volumeBlocks));
  const std::uint64_t slack = options.nodeSize ? options.nodeSize : kLargestNode;
  std::vector<std::byte> chunk;
  for (std::uint64_t start = 0; start < volumeBytes; start += kScanChunk) {
    if (takeStop()) break;
    reporter_.progressPosition(static_cast<std::int64_t>(start / options.step));
    const std::uint64_t scanBytes = std::min(kScanChunk, volumeBytes - start);
    chunk.assign(std::min(scanBytes + slack, volumeBytes - start), std::byte{0});
    readVolume(start, chunk);
    hfs::scanForLeaves(chunk, scanBytes, start, options, catalogNodes_);
  }
  return true;
}

bool HFSP::collectCatalogRecords() {
  map_.clear();
  reporter_.progressRange(0, static_cast<std::int64_t>(catalogNodes_.size()));
  std::vector<std::byte> node;
  for (std::size_t n = 0; n < catalogNodes_.size(); ++n) {
    const hfs::HfsNodeInfo& info = catalogNodes_[n];
    if (info.kind != hfs::kLeafNode) continue;
    if (takeStop()) break;
    reporter_.progressPosition(static_cast<std::int64_t>(n));
    readNode(info, node);
    const std::uint64_t nodeBlock =
        scanMode_ ? info.nodeNumber : (blockSize_ ? info.nodeNumber * info.nodeSize / blockSize_ : 0);
    for (std::size_t k = 0; k < info.offsets.size(); ++k) {
      hfs::CatalogRecord c;
      if (!hfs::decodeCatalogRecord(node, info.offsets[k], hfs::recordEnd(node, info.offsets, k), c)) continue;
      if (c.id == 0) continue;
      HfsEntryRecord e;
      e.type = c.type;
      e.parent = c.parent;
      e.id = c.id;
      e.name = std::move(c.name);
      e.nodeBlock = nodeBlock;
      e.recordOffset = info.offsets[k];
      e.createDate = c.createDate;
      e.contentModDate = c.contentModDate;
      e.attributeModDate = c.attributeModDate;
      e.accessDate = c.accessDate;
      e.mode = c.mode;
      if (c.type == hfs::kFileRecord) {
        e.size = c.dataFork.logicalSize;
        e.totalBlocks = c.dataFork.totalBlocks;
        e.extents = hfs::usedExtents(c.dataFork.extents);
      }
      map_.emplace(e.id, std::move(e));  // the first record of a CNID is kept
    }
  }
  if (scanMode_ && blockSize_ == 0) inferBlockSize();
  return true;
}

// With the volume header gone, the block size is the one power of two that every file's
// size and block count agree on.
void HFSP::inferBlockSize() {
  for (std::uint64_t size = 512; size <= 65536; size *= 2) {
    bool fitsAll = true;
    for (const auto& [id, e] : map_) {
      if (e.type != hfs::kFileRecord || e.totalBlocks == 0 || e.size == 0) continue;
      if (e.size > e.totalBlocks * size || e.size <= (e.totalBlocks - 1) * size) {
        fitsAll = false;
        break;
      }
    }
    if (fitsAll) {
      blockSize_ = static_cast<std::uint32_t>(size);
      return;
    }
  }
}

bool HFSP::linkEntries() {
  reporter_.status("Maintaining Parent Child....");
  const auto total = static_cast<long long>(map_.size());
  reporter_.progressRange(0, total);
  if (scanMode_) {
    if (map_.empty()) return true;
    const std::uint32_t highest = map_.rbegin()->first;
    if (highest <= 1 || highest == UINT32_MAX) return true;
    orphanId_ = highest + 1;
    HfsEntryRecord orphan;
    orphan.type = hfs::kFolderRecord;
    orphan.name = "ORPHAN_ENTRY";
    orphan.parent = hfs::kRootFolderId;
    orphan.id = orphanId_;
    HfsEntryRecord& o = map_[orphanId_] = std::move(orphan);
    HfsEntryRecord* lastFolder = nullptr;
    // Every folder goes to the head of ORPHAN_ENTRY's chain, behind it the files met before
    // the first folder; each file goes under the folder met last before it.
    for (auto& [id, e] : map_) {
      if (id == orphanId_) continue;
      if (e.type == hfs::kFolderRecord) {
        e.parent = orphanId_;
        e.nextSibling = o.firstChild;
        o.firstChild = id;
        lastFolder = &e;
      } else {
        HfsEntryRecord& holder = lastFolder ? *lastFolder : o;
        e.nextSibling = holder.firstChild;
        holder.firstChild = id;
      }
    }
    return true;
  }
  long long k = 0;
  std::map<std::uint32_t, std::uint64_t> chainLength;
  // In memory and quick: it runs after a stop too, so what was found is linked.
  for (auto& [id, e] : map_) {
    if (k % kStatusEvery == 0 || k + 1 == total) {
      reporter_.status(printed("Maintaining Parent Child for record %lld of %lld....", k + 1, total));
      reporter_.progressPosition(k + 2);
    }
    ++k;
    if (e.parent == 0 || e.parent == id) continue;
    auto p = map_.find(e.parent);
    if (p == map_.end() || p->second.type != hfs::kFolderRecord) continue;
    HfsEntryRecord& parent = p->second;
    std::uint64_t& length = chainLength[e.parent];
    if (length > 1 && parent.parent == id) continue;
    e.nextSibling = parent.firstChild;
    parent.firstChild = id;
    ++length;
  }
  return true;
}

bool HFSP::fillTreeRoots() {
  topLevel_.clear();
  long long position = 0;
  for (const auto& [id, e] : map_) {
    ++position;
    if (e.parent != hfs::kRootFolderId || id == hfs::kRootFolderId) continue;
    const bool folder = e.type == hfs::kFolderRecord;
    if (topLevel_.size() % kStatusEvery == 0)
      reporter_.status(printed(folder ? "found folder at Node %lld" : "found file at Node %lld", position));
    topLevel_.push_back(id);
  }
  return true;
}

bool HFSP::parse(bool scanMode, std::string& error) {
  attachSource();
  readVolumeHeader();
  bool ok;
  if (scanMode) {
    ok = scanCatalogLeaves();
    // Without the overflow tree the files still save up to their eighth extent.
    if (ok && !readExtentsOverflow()) overflowMap_.clear();
  } else {
    // The overflow tree first: the catalog's own extents past the eighth live there.
    ok = blockSize_ != 0 && readExtentsOverflow() && readCatalogNodes();
  }
  if (!ok) {
    reporter_.status("Work Aborted....");
    error = blockSize_ == 0 && !scanMode ? "the volume header holds no valid block size"
                                         : "the catalog cannot be read";
    return false;
  }
  collectCatalogRecords();
  linkEntries();
  fillTreeRoots();
  reporter_.status("Work Done.");
  return true;
}

const HfsEntryRecord* HFSP::find(std::int64_t cnid) const {
  if (cnid < 0 || cnid > UINT32_MAX) return nullptr;
  auto it = map_.find(static_cast<std::uint32_t>(cnid));
  return it == map_.end() ? nullptr : &it->second;
}

bool HFSP::overflowExtents(std::uint32_t id, std::uint64_t& listed, std::uint64_t total,
                           std::vector<hfs::Extent>& out) const {
  while (listed < total) {
    if (listed > UINT32_MAX) return false;
    auto it = overflowMap_.find({id, static_cast<std::uint32_t>(listed)});
    if (it == overflowMap_.end()) return false;
    const std::uint64_t before = listed;
    for (const hfs::Extent& e : it->second.extents) {
      if (e.start == 0 || e.count == 0) continue;
      out.push_back(e);
      listed += e.count;
    }
    if (listed == before) return false;  // a record that adds nothing would repeat forever
  }
  return true;
}

bool HFSP::saveFile(const HfsEntryRecord& entry, ByteSink& out) {
  if (entry.type != hfs::kFileRecord) return false;
  if (entry.size == 0) return true;
  if (blockSize_ == 0) return false;
  std::vector<hfs::Extent> extents = entry.extents;
  std::uint64_t listed = blocksIn(extents);
  bool complete = true;
  if (listed < entry.totalBlocks) complete = overflowExtents(entry.id, listed, entry.totalBlocks, extents);
  // The extents in order; a fork whose extents end early gives a shorter file.
  ContentMap content;
  std::uint64_t logical = 0;
  for (const hfs::Extent& e : extents) {
    if (logical >= entry.size) break;
    const std::uint64_t bytes = std::min<std::uint64_t>(std::uint64_t{e.count} * blockSize_, entry.size - logical);
    content.add(logical, bytes, std::uint64_t{e.start} * blockSize_);
    logical += bytes;
  }
  content.size = logical;
  const std::uint64_t limit = volumeBytes_ ? volumeBytes_ : UINT64_MAX;
  const ContentReport r =
      streamContent({&source_, static_cast<std::uint64_t>(source_.baseOffset), limit}, content, out);
  return r.written && r.unreadable == 0 && complete && logical == entry.size;
}

HfsTimes HFSP::recordTimes(const HfsEntryRecord& e) const {
  return {hfs::instantFromHfs(e.createDate), hfs::instantFromHfs(e.accessDate),
          hfs::instantFromHfs(e.attributeModDate)};
}

std::vector<std::string> HFSP::entryTimeTexts(const HfsEntryRecord& e) const {
  return {dateText(hfs::instantFromHfs(e.createDate)), dateText(hfs::instantFromHfs(e.accessDate)),
          dateText(hfs::instantFromHfs(e.contentModDate)), hfs::hfsPermissionLetters(e.mode)};
}

std::string HFSP::sizeText(const HfsEntryRecord& e) const { return quarnel::sizeText(e.size); }

}  // namespace quarnel
