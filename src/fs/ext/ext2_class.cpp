#include "fs/ext/ext2_class.h"

#include "storage/extent_stream.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <set>
#include <string_view>

#include "fs/ext/ext_content.h"
#include "fs/ext/ext_directory.h"

namespace quarnel {
namespace {

constexpr std::uint64_t kFirstSuperblock = 1024;
constexpr std::uint64_t kSearchStep = 512;
constexpr std::uint64_t kSearchChunk = 1 << 20;
constexpr std::uint64_t kTableChunk = 4 << 20;
constexpr std::uint32_t kRootInode = 2;
constexpr std::size_t kInlineParentWord = 4;

// The format's two %lld filled in; a status per inode makes snprintf show in a listing's time.
std::string printed(std::string_view format, long long a, long long b) {
  std::string out;
  out.reserve(format.size() + 24);
  const long long values[2] = {a, b};
  for (long long v : values) {
    const std::size_t at = format.find("%lld");
    if (at == std::string_view::npos) break;
    out.append(format.substr(0, at));
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, v);
    out.append(digits, r.ptr);
    format.remove_prefix(at + 4);
  }
  out.append(format);
  return out;
}

}  // namespace

class ext2Class::Reader : public ext::BlockReader {
 public:
  explicit Reader(ext2Class& p) : p_(p) {}
  bool readBlocks(std::uint64_t first, MutableByteSpan out) override {
    return p_.readVolume(first * p_.blockSize_, out);
  }

 private:
  ext2Class& p_;
};

ext2Class::ext2Class(readWriteInterface& source, const VolumeRecord& record, Reporter& reporter)
    : source_(source), record_(record), reporter_(reporter) {}

bool ext2Class::takeStop() { return job_->shouldStop(); }

bool ext2Class::readVolume(std::uint64_t position, MutableByteSpan out) {
  if (position > volumeBytes_ || out.size() > volumeBytes_ - position) {
    std::fill(out.begin(), out.end(), std::byte{0});
    return false;
  }
  return source_.readAt(source_.baseOffset + static_cast<std::int64_t>(position), out);
}

bool ext2Class::attachSource() {
  source_.baseOffset = record_.startSector * kSectorSize;
  return source_.seek(0, 0);
}

bool ext2Class::findSuperblock() {
  std::vector<std::byte> chunk(kSearchChunk + ext::kSuperblockSize);
  for (std::uint64_t start = kFirstSuperblock; start + kSearchStep < volumeBytes_; start += kSearchChunk) {
    if (takeStop()) break;
    const std::uint64_t want = std::min<std::uint64_t>(chunk.size(), volumeBytes_ - start);
    std::fill(chunk.begin(), chunk.end(), std::byte{0});
    readVolume(start, MutableByteSpan(chunk.data(), want));
    for (std::uint64_t at = 0; at < kSearchChunk && start + at + kSearchStep < volumeBytes_; at += kSearchStep) {
      ext::Superblock sb = ext::Superblock::decode(ByteSpan(chunk).subspan(at, ext::kSuperblockSize));
      if (!sb.plausible()) continue;
      sb_ = sb;
      sbPosition_ = start + at;
      blockSize_ = sb.blockSize();
      const std::string_view message = ext::versionMessage(sb.featureRoCompat);
      if (!message.empty()) reporter_.warning(WarningKind::Notice, message);
      return true;
    }
  }
  return false;
}

bool ext2Class::readGroupDescriptors() {
  if (blockSize_ == 0) return false;
  // Damaged counts are bounded by what the volume can hold.
  const std::uint64_t volumeBlocks = volumeBytes_ / blockSize_;
  groupCount_ = std::min(sb_.groupCount(), volumeBlocks / sb_.blocksPerGroup + 1);
  const std::uint64_t position = (sbPosition_ / blockSize_ + 1) * blockSize_;
  const std::uint64_t length = groupCount_ * sb_.descriptorSize();
  if (position >= volumeBytes_ || length > volumeBytes_ - position) return false;
  descriptors_.assign(length, std::byte{0});
  return readVolume(position, descriptors_);
}

bool ext2Class::collectInodes() {
  const std::uint64_t inodeSize = sb_.inodeSize;
  std::uint64_t cap = std::min<std::uint64_t>(sb_.inodeCount, groupCount_ * sb_.inodesPerGroup);
  cap = std::min<std::uint64_t>(cap, volumeBytes_ / inodeSize);  // each inode takes its slot on disk
  records_.clear();
  records_.reserve(cap);
  reporter_.progressRange(0, static_cast<std::int64_t>(groupCount_));
  const bool is64 = (sb_.featureIncompat & ext::kIncompat64Bit) != 0;
  const std::uint64_t volumeBlocks = volumeBytes_ / blockSize_;
  std::vector<std::byte> table;
  for (std::uint64_t g = 0; g < groupCount_ && records_.size() < cap; ++g) {
    if (takeStop()) break;
    reporter_.status(printed("parsing group %lld  of %lld ", static_cast<long long>(g + 1),
                             static_cast<long long>(groupCount_)));
    reporter_.progressPosition(static_cast<std::int64_t>(g + 1));
    const std::uint64_t tableBlock = ext::inodeTableBlock(descriptors_, g * sb_.descriptorSize(), is64);
    const std::uint64_t perGroup = std::min<std::uint64_t>(sb_.inodesPerGroup, cap - records_.size());
    const std::uint64_t perChunk = std::max<std::uint64_t>(1, kTableChunk / inodeSize);
    const bool reachable = tableBlock > 0 && tableBlock < volumeBlocks;
    for (std::uint64_t first = 0; first < perGroup; first += perChunk) {
      const std::uint64_t count = std::min(perChunk, perGroup - first);
      table.assign(count * inodeSize, std::byte{0});
      // An unreadable table still gets its records, so later records keep inode number - 1.
      if (reachable) readVolume(tableBlock * blockSize_ + first * inodeSize, table);
      for (std::uint64_t i = 0; i < count; ++i) {
        ExtEntryRecord r;
        r.inode = ext::Inode::decode(ByteSpan(table).subspan(i * inodeSize, inodeSize));
        r.index = static_cast<ExtKey>(records_.size());
        r.mode = r.inode.mode;
        r.size = r.inode.size;
        r.inodeTableBlock = tableBlock;
        r.indexInGroup = static_cast<std::uint32_t>(first + i);
        records_.push_back(std::move(r));
      }
    }
  }
  recordCount_ = records_.size();
  return !records_.empty();
}

void ext2Class::nameFromEntry(std::uint32_t inode, std::uint8_t fileType, const std::string& name,
                              ExtKey parent) {
  ExtEntryRecord& r = records_[inode - 1];
  if (fileType == ext::kEntryTypeDirectory) r.mode = ext::kModeDirectory;
  else if (fileType == ext::kEntryTypeRegular) r.mode = ext::kModeRegular;
  r.name = name;
  r.named = true;
  r.parent = parent;
}

void ext2Class::walkDirectory(const ExtEntryRecord& dir, bool live, bool& firstEntry) {
  const std::uint32_t self = static_cast<std::uint32_t>(dir.index + 1);
  const ExtKey current = self == kRootInode ? kExtRootKey : dir.index;
  const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(records_.size(), UINT32_MAX));
  ext::DirBlockOptions options{sb_.fileTypeInEntries(), n, true};

  auto take = [&](const std::vector<ext::DirEntry>& entries) {
    for (const ext::DirEntry& e : entries) {
      if (e.inode == 0 || e.inode > n) continue;
      if (e.name == "." || e.name == "..") {
        // The root's own record is named "." under ROOT, as the tree shows it.
        if (firstEntry && live && self == kRootInode && e.name == ".")
          nameFromEntry(e.inode, e.fileType, e.name, current);
        firstEntry = false;
        continue;
      }
      firstEntry = false;
      if (live && !e.deleted) nameFromEntry(e.inode, e.fileType, e.name, current);
      else deletedNames_.push_back({e.inode, e.name, current, e.fileType});
    }
  };

  if (dir.inode.hasInlineData()) {
    // The parent's number, then entries over the rest of the block area and the attribute.
    take(ext::parseDirectoryBlock(ByteSpan(dir.inode.blockArea).subspan(kInlineParentWord), options));
    take(ext::parseDirectoryBlock(dir.inode.inlineTail, options));
    return;
  }
  const ext::BlockMap map = blockList(dir.inode, dir.inode.size);
  std::vector<std::byte> buf;
  bool firstBlock = true;
  Reader reader(*this);
  for (const ext::BlockRun& run : map.runs) {
    if (run.zeroed) continue;
    const std::uint64_t perChunk = std::max<std::uint64_t>(1, kSearchChunk / blockSize_);
    for (std::uint64_t done = 0; done < run.count; done += perChunk) {
      const std::uint64_t blocks = std::min(perChunk, run.count - done);
      buf.assign(blocks * blockSize_, std::byte{0});
      const bool read = reader.readBlocks(run.physical + done, buf);
      for (std::uint64_t b = 0; b < blocks; ++b) {
        ByteSpan block = ByteSpan(buf).subspan(b * blockSize_, blockSize_);
        const bool leading = firstBlock && run.logical == 0 && done + b == 0;
        firstBlock = false;
        if (!read && std::all_of(block.begin(), block.end(), [](std::byte x) { return x == std::byte{0}; }))
          continue;
        // A deleted folder's blocks may since belong to another: its first one must still
        // name it as ".".
        if (!live && leading) {
          auto head = ext::parseDirectoryBlock(block, {options.fileType, n, false});
          if (head.empty() || head.front().name != "." || head.front().inode != self) return;
        }
        // Behind ".." of a hash-tree root lies the index, not old names.
        options.slack = !(leading && (dir.inode.flags & ext::kFlagIndexedDirectory));
        take(ext::parseDirectoryBlock(block, options));
      }
    }
  }
}

bool ext2Class::walkDirectories() {
  const std::size_t n = records_.size();
  reporter_.progressRange(0, static_cast<std::int64_t>(n));
  bool firstEntry = true;
  const std::size_t step = std::max<std::size_t>(1, sb_.inodesPerGroup);
  bool stopped = false;
  // Live folders first, so that leftovers in deleted ones never rename a live entry.
  for (int pass = 0; pass < 2 && !stopped; ++pass) {
    for (std::size_t a = 0; a < n; ++a) {
      if (a % step == 0) {
        if (takeStop()) {
          stopped = true;
          break;
        }
        if (pass == 0) {
          reporter_.status(printed("parsing inode entry %lld  of %lld ", static_cast<long long>(a + 1),
                                   static_cast<long long>(n)));
          reporter_.progressPosition(static_cast<std::int64_t>(a + 1));
        }
      }
      const ExtEntryRecord& r = records_[a];
      if (!r.inode.isDirectory() || r.inode.firstBlockWord() == 0) continue;
      if (r.inode.live() != (pass == 0)) continue;
      // Each folder read is a check point too: one group may hold every folder.
      if (takeStop()) {
        stopped = true;
        break;
      }
      walkDirectory(r, pass == 0, firstEntry);
    }
  }
  reporter_.status(printed("parsed inode entry %lld  of %lld ", static_cast<long long>(n),
                           static_cast<long long>(n)));
  reporter_.progressPosition(static_cast<std::int64_t>(n));
  return n != 0;
}

bool ext2Class::buildEntryMap() {
  reporter_.status("clearing vector....");
  map_.clear();
  for (ExtEntryRecord& r : records_)
    if (r.named) map_.emplace(r.index, std::move(r));
  ExtEntryRecord root;
  root.name = "ROOT";
  root.named = true;
  root.mode = ext::kModeDirectory;
  root.index = kExtRootKey;
  if (records_.size() >= kRootInode) root.inode = records_[kRootInode - 1].inode;
  map_[kExtRootKey] = std::move(root);

  // Deleted names take their inode's own key when no live name holds it, so the entries
  // of a deleted folder still find it; otherwise a key past every inode.
  ExtKey nextKey = static_cast<ExtKey>(records_.size()) + 1;
  for (const DeletedName& d : deletedNames_) {
    const ExtKey index = static_cast<ExtKey>(d.inode) - 1;
    ExtEntryRecord r = records_[index];
    r.named = true;
    r.deleted = true;
    r.name = d.name;
    r.parent = d.parent;
    r.firstChild = r.nextSibling = -1;
    if (d.fileType == ext::kEntryTypeDirectory) r.mode = ext::kModeDirectory;
    else if (d.fileType == ext::kEntryTypeRegular) r.mode = ext::kModeRegular;
    else if (d.fileType == 0) r.mode = r.inode.mode;
    const bool ownKey = index != kExtRootKey && index != kRootInode - 1 && !map_.count(index);
    map_.emplace(ownKey ? index : nextKey++, std::move(r));
  }
  records_.clear();
  records_.shrink_to_fit();
  deletedNames_.clear();
  return true;
}

bool ext2Class::linkEntries() {
  reporter_.status("Maintaining Parent Child....");
  const auto total = static_cast<long long>(map_.size());
  reporter_.progressRange(0, total);
  long long k = 0;
  // Every chain holds only linked entries of the map, so each new child goes to the head
  // without walking it: children run from the highest key down.
  // In memory and quick: it runs after a stop too, so what was found is linked.
  for (auto& [key, entry] : map_) {
    if (k % kStatusEvery == 0 || k + 1 == total) {
      reporter_.status(printed("Maintaining Parent Child for record %lld of %lld....", k + 1, total));
      reporter_.progressPosition(k + 2);
    }
    ++k;
    if (entry.parent <= 0) continue;
    auto parent = map_.find(entry.parent);
    if (parent == map_.end() || parent->second.index == entry.index) continue;
    entry.nextSibling = parent->second.firstChild;
    parent->second.firstChild = key;
  }
  return true;
}

// The tree the window shows is built from the entry store over the view, so the parser
// only says the step.
void ext2Class::fillTreeRoots() { reporter_.status("filling root entries in  tree...."); }

bool ext2Class::parse(std::string& error) {
  if (!attachSource()) {
    error = "cannot reach the volume's start";
    return false;
  }
  volumeBytes_ = volumeReadLimit(record_, source_.sizeSectors());
  if (volumeBytes_ == 0) {
    error = "the volume has no size";
    return false;
  }
  if (!findSuperblock()) {
    error = "no ext superblock at sector " + std::to_string(record_.startSector);
    return false;
  }
  if (!readGroupDescriptors()) {
    error = "the block group descriptors cannot be read";
    return false;
  }
  collectInodes();
  if (!walkDirectories()) {
    error = "no inode could be read";
    return false;
  }
  buildEntryMap();
  linkEntries();
  fillTreeRoots();
  return true;
}

const ExtEntryRecord* ext2Class::find(ExtKey key) const {
  auto it = map_.find(key);
  return it == map_.end() ? nullptr : &it->second;
}

ext::BlockMap ext2Class::blockList(const ext::Inode& inode, std::uint64_t fileBytes) {
  ext::MapLimits limits;
  limits.blockSize = blockSize_;
  limits.volumeBlocks = std::min<std::uint64_t>(sb_.blockCount, volumeBytes_ / std::max(blockSize_, 1u));
  limits.fileBlocks = blockSize_ ? (fileBytes + blockSize_ - 1) / blockSize_ : 0;
  Reader reader(*this);
  return ext::mapBlocks(inode, limits, reader);
}

bool ext2Class::saveFile(const ExtEntryRecord& record, ByteSink& out) {
  const ext::Inode& inode = record.inode;
  if (inode.hasInlineData() || inode.isFastSymlink()) return ext::writeInlineContent(inode, out);
  const ext::BlockMap map = blockList(inode, record.size);
  // A deleted inode whose map the driver emptied holds nothing to save.
  if (record.deleted && map.runs.empty()) return true;
  if (blockSize_ == 0) return false;
  ContentMap content;
  content.size = record.size;  // holes run to the end
  for (const ext::BlockRun& run : map.runs)
    content.add(run.logical * blockSize_, run.count * blockSize_, run.physical * blockSize_, run.zeroed);
  const ContentReport r =
      streamContent({&source_, static_cast<std::uint64_t>(source_.baseOffset), volumeBytes_}, content, out);
  return r.complete() && map.complete;
}

ExtTimes ext2Class::inodeTimes(const ExtEntryRecord& record) const {
  return {record.inode.changed, record.inode.accessed, record.inode.modified};
}

std::vector<std::string> ext2Class::entryTimeTexts(const ExtEntryRecord& record) const {
  return {dateText(record.inode.changed), dateText(record.inode.accessed),
          dateText(record.inode.modified), ext::permissionLetters(record.inode.mode)};
}

std::string ext2Class::sizeText(const ExtEntryRecord& record) const { return quarnel::sizeText(record.size); }

}  // namespace quarnel
