// HFSP: one HFS+ or HFSX volume read through the sector source. Standard mode lists the
// catalog B-tree's nodes through all the catalog's extents; advanced and deep modes find
// catalog leaf nodes anywhere on the volume and hang what they find under ORPHAN_ENTRY.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fs/hfsplus/hfs_btree.h"
#include "fs/hfsplus/hfs_catalog.h"
#include "fs/hfsplus/hfs_extents_overflow.h"
#include "fs/hfsplus/hfs_leaf_scan.h"
#include "fs/hfsplus/hfs_volume_header.h"
#include "platform/byte_sink.h"
#include "platform/job.h"
#include "platform/reporter.h"
#include "storage/read_write_interface.h"
#include "volumes/volume_record.h"

namespace quarnel {

struct HfsEntryRecord {
  std::int16_t type = -1;
  std::uint32_t parent = 0;
  std::uint32_t id = 0;
  std::int64_t firstChild = -1;
  std::int64_t nextSibling = -1;
  std::uint32_t totalBlocks = 0;
  std::string name;  // UTF-8
  std::uint64_t nodeBlock = 0;
  std::uint32_t recordOffset = 0;
  std::uint64_t size = 0;
  std::vector<hfs::Extent> extents;
  std::uint32_t createDate = 0, contentModDate = 0, attributeModDate = 0, accessDate = 0;
  std::uint16_t mode = 0;
};

struct HfsTimes {
  Instant created, accessed, written;
};

class HFSP {
 public:
  HFSP(readWriteInterface& source, const VolumeRecord& record, Reporter& reporter);

  void attachSource();
  bool readVolumeHeader();
  bool readCatalogNodes();
  bool scanCatalogLeaves();
  bool readExtentsOverflow();
  bool collectCatalogRecords();
  bool linkEntries();
  bool fillTreeRoots();
  // The browse page's order for the mode; "Work Done." or "Work Aborted...." at the end.
  bool parse(bool scanMode, std::string& error);

  // Streams the data fork; false when some of it could not be found or read.
  bool saveFile(const HfsEntryRecord& entry, ByteSink& out);
  // Appends the overflow extents of the data fork of id from block listed on, until total.
  bool overflowExtents(std::uint32_t id, std::uint64_t& listed, std::uint64_t total,
                       std::vector<hfs::Extent>& out) const;
  HfsTimes recordTimes(const HfsEntryRecord& entry) const;
  std::vector<std::string> entryTimeTexts(const HfsEntryRecord& entry) const;
  std::string sizeText(const HfsEntryRecord& entry) const;

  // The job that drives the parse: its stop request ends the scans with what was found.
  void setJob(JobControl* job) { job_ = job ? job : &ownJob_; }
  void requestStop() { job_->requestStop(); }
  const std::map<std::uint32_t, HfsEntryRecord>& hfsEntryMap() const { return map_; }
  const HfsEntryRecord* find(std::int64_t cnid) const;
  // The entries the tree shows under the volume item, in its order.
  const std::vector<std::uint32_t>& topLevel() const { return topLevel_; }
  bool scanMode() const { return scanMode_; }
  std::uint32_t orphanId() const { return orphanId_; }
  std::uint32_t blockSize() const { return blockSize_; }
  const std::vector<hfs::HfsNodeInfo>& catalogNodes() const { return catalogNodes_; }

 private:
  struct Tree {
    std::vector<hfs::Extent> extents;  // the tree file's extents, in fork order
    std::uint32_t nodeSize = 0;
    std::uint64_t totalNodes = 0;
  };

  bool takeStop();
  void keepLiveLeaves();
  bool readVolume(std::uint64_t position, MutableByteSpan out);
  bool readFork(const std::vector<hfs::Extent>& extents, std::uint64_t offset, MutableByteSpan out);
  bool listNodes(Tree& tree, std::vector<hfs::HfsNodeInfo>& nodes, bool progress);
  bool readNode(const hfs::HfsNodeInfo& info, std::vector<std::byte>& node);
  void inferBlockSize();

  readWriteInterface& source_;
  VolumeRecord record_;
  Reporter& reporter_;
  UnstoppableJob ownJob_;
  JobControl* job_ = &ownJob_;

  hfs::VolumeHeader header_;
  std::uint64_t volumeBytes_ = 0;
  std::uint32_t blockSize_ = 0;
  bool scanMode_ = false;
  Tree catalog_, extents_;
  std::vector<hfs::HfsNodeInfo> catalogNodes_, extentNodes_;
  std::map<std::uint32_t, HfsEntryRecord> map_;
  std::map<std::pair<std::uint32_t, std::uint32_t>, hfs::OverflowRecord> overflowMap_;
  std::uint32_t orphanId_ = 0;
  std::vector<std::uint32_t> topLevel_;
};

}  // namespace quarnel
