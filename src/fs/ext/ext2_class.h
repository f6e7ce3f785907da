// ext2Class: one ext2, ext3 or ext4 volume read through the sector source. It finds the
// superblock, lists a record per inode, names the records from the directory blocks (and
// from the deleted entries in their slack), links them under the synthetic folder "ROOT"
// and writes a file's content with its holes.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fs/ext/ext_block_map.h"
#include "fs/ext/ext_inode.h"
#include "fs/ext/ext_superblock.h"
#include "platform/byte_sink.h"
#include "platform/job.h"
#include "platform/reporter.h"
#include "storage/read_write_interface.h"
#include "volumes/volume_record.h"

namespace quarnel {

using ExtKey = std::int64_t;
inline constexpr ExtKey kExtRootKey = 2;  // ROOT, under which the root folder's entries hang

struct ExtEntryRecord {
  std::string name;
  bool named = false;
  bool deleted = false;      // named by an entry found in a directory block's slack
  ExtKey index = -1;         // inode number - 1
  ExtKey parent = -1;
  std::uint16_t mode = 0;    // replaced by 0x4000 or 0x8000 from a directory entry's type
  std::uint64_t size = 0;
  std::uint64_t inodeTableBlock = 0;
  std::uint32_t indexInGroup = 0;
  ExtKey firstChild = -1;
  ExtKey nextSibling = -1;
  ext::Inode inode;          // as read from the table when the inodes were collected
};

struct ExtTimes {
  Instant created, accessed, written;  // change, access and modification times
};

class ext2Class {
 public:
  ext2Class(readWriteInterface& source, const VolumeRecord& record, Reporter& reporter);

  bool attachSource();
  bool findSuperblock();
  bool readGroupDescriptors();
  bool collectInodes();
  bool walkDirectories();
  bool buildEntryMap();
  bool linkEntries();
  void fillTreeRoots();
  // All of the above in the browse page's order; false when nothing could be listed.
  bool parse(std::string& error);

  ext::BlockMap blockList(const ext::Inode& inode, std::uint64_t fileBytes);
  // Streams the record's content; false when some of it could not be read or written.
  bool saveFile(const ExtEntryRecord& record, ByteSink& out);
  ExtTimes inodeTimes(const ExtEntryRecord& record) const;
  // Change (shown as creation), access and modification texts, and the permission letters.
  std::vector<std::string> entryTimeTexts(const ExtEntryRecord& record) const;
  std::string sizeText(const ExtEntryRecord& record) const;

  // The job that drives the parse: its stop request ends the scans with what was found.
  void setJob(JobControl* job) { job_ = job ? job : &ownJob_; }
  void requestStop() { job_->requestStop(); }
  const ext::Superblock& superblock() const { return sb_; }
  std::uint64_t superblockPosition() const { return sbPosition_; }
  const std::map<ExtKey, ExtEntryRecord>& extEntryMap() const { return map_; }
  const ExtEntryRecord* find(ExtKey key) const;
  std::size_t recordCount() const { return recordCount_; }

 private:
  class Reader;
  struct DeletedName {
    std::uint32_t inode;
    std::string name;
    ExtKey parent;
    std::uint8_t fileType;
  };

  bool takeStop();
  bool readVolume(std::uint64_t position, MutableByteSpan out);
  void walkDirectory(const ExtEntryRecord& dir, bool live, bool& firstEntry);
  void nameFromEntry(std::uint32_t inode, std::uint8_t fileType, const std::string& name, ExtKey parent);

  readWriteInterface& source_;
  VolumeRecord record_;
  Reporter& reporter_;
  UnstoppableJob ownJob_;
  JobControl* job_ = &ownJob_;

  std::uint64_t volumeBytes_ = 0;
  ext::Superblock sb_;
  std::uint64_t sbPosition_ = 0;
  std::uint32_t blockSize_ = 0;
  std::uint64_t groupCount_ = 0;
  std::vector<std::byte> descriptors_;
  std::vector<ExtEntryRecord> records_;
  std::size_t recordCount_ = 0;
  std::vector<DeletedName> deletedNames_;
  std::map<ExtKey, ExtEntryRecord> map_;
};

}  // namespace quarnel
