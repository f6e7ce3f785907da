#include "fs/fat/fat_parser.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "fs/fat/fat_content.h"
#include "platform/output_file.h"

namespace quarnel {
namespace {

constexpr std::uint64_t kSector = 512;

FatEntryRecord syntheticRecord(std::string_view name, std::uint8_t attribute, std::int32_t self) {
  FatEntryRecord r;
  r.name = name;
  r.attribute = attribute;
  r.parent = 0;
  r.self = self;
  return r;
}

}  // namespace

void FatFamilyParser::attachSource(readWriteInterface& source, std::int64_t startSector) {
  source_ = &source;
  startSector_ = startSector;
  source.baseOffset = startSector * static_cast<std::int64_t>(kSector);
  source.seek(0, 0);
  setVolumeSize(volumeSize_);
}

void FatFamilyParser::setVolumeSize(std::uint64_t bytes) {
  volumeSize_ = bytes;
  if (source_ == nullptr) return;
  const std::uint64_t start = static_cast<std::uint64_t>(startSector_) * kSector;
  const std::uint64_t disk = static_cast<std::uint64_t>(std::max<std::int64_t>(0, source_->sizeSectors())) * kSector;
  if (disk > 0) volumeSize_ = std::min(volumeSize_, disk > start ? disk - start : 0);
  io_ = VolumeReader(*source_, start, volumeSize_);
}

FatBootRecord FatFamilyParser::readBoot(std::uint64_t sector) const {
  std::array<std::byte, kSector> buf{};
  io_.read(sector * kSector, buf);
  return FatBootRecord::decode(buf);
}

void FatFamilyParser::useTable(std::uint64_t offset, std::uint64_t size) {
  fat_ = std::make_unique<FatTable>(io_, offset, size, geo_.width, geo_.clusterLimit);
}

std::vector<FatEntryRecord>& FatFamilyParser::walkFrom(const FatDirectoryBytes& root) {
  records_.clear();
  FatDirectoryWalker walker(io_, geo_, *fat_, records_, rules_, !formatted_);
  walker.useJob(job_);
  walker.walkRoot(root);
  walker.readDeferredFolders();
  return records_;
}

// The tree the window shows is built from the entry store over the view; the parser only
// says the step.
void FatFamilyParser::fillTreeRoots() {
  const std::size_t n = records_.size();
  auto say = [&](std::size_t i) {
    char text[64];
    std::snprintf(text, sizeof text, "filling entry =%zu in tree ", i);
    reporter_->status(text);
  };
  for (std::size_t i = 0; i < n; i += kStatusEvery) say(i);
  if (n > 1 && (n - 1) % kStatusEvery != 0) say(n - 1);
}

void FatFamilyParser::releaseBuffers() {
  records_.clear();
  found_.clear();
  taken_.clear();
}

void FatFamilyParser::setUserGeometry(std::uint32_t sectorsPerCluster) {
  userGeometry_ = true;
  geo_.bytesPerSector = kSector;
  geo_.sectorsPerCluster = std::max<std::uint32_t>(1, sectorsPerCluster);
  geo_.clusterSize = kSector * geo_.sectorsPerCluster;
  geo_.clusterLimit =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(volumeSize_ / geo_.clusterSize, 0x0FFFFFF7));
}

std::vector<FatEntryRecord>& FatFamilyParser::buildEntries() {
  records_.clear();
  taken_.clear();
  records_.push_back(syntheticRecord(kDummyEntryName, kLongNameAttribute, 0));
  records_.push_back(syntheticRecord(kOrphanEntryName, 0x10, 1));
  FatDirectoryWalker walker(io_, geo_, *fat_, records_, advancedRules_, !formatted_);
  walker.useJob(job_);
  walker.useTakenSet(&taken_);
  std::uint64_t boundary = 0;
  bool first = true;
  std::vector<std::byte> window;
  for (std::uint64_t p : found_) {
    if (taken_.count(p)) continue;
    // The slot and the long-name pieces that may stand before it.
    const std::uint64_t start = (p - std::min<std::uint64_t>(p, LongNameRun::kMaxPieces * kDirEntrySize)) / kSector * kSector;
    window.assign(static_cast<std::size_t>(p + kDirEntrySize - start), std::byte{0});
    io_.read(start, window);
    const ByteSpan slot = ByteSpan(window).last(kDirEntrySize);
    // Long-name pieces are read with the 8.3 entry that ends their run.
    if (u8(slot, 11) == kLongNameAttribute) continue;
    taken_.insert(p);
    if (first) {
      first = false;
      if (scanRules_ == FatScanRules::Fat32) {
        if (geo_.dataOffset == 0) geo_.dataOffset = p >= kDirEntrySize ? p - kDirEntrySize : 0;
        boundary = geo_.dataOffset + geo_.clusterSize;
      } else {
        boundary = geo_.rootOffset + geo_.rootSize;
      }
    }
    const FatShortEntry e = FatShortEntry::decode(slot);
    if (e.dotEntry()) continue;
    std::uint64_t k = p;
    int pieces = 0;
    while (k >= start + kDirEntrySize && pieces < LongNameRun::kMaxPieces &&
           u8(window, static_cast<std::size_t>(k - kDirEntrySize - start) + 11) == kLongNameAttribute &&
           !taken_.count(k - kDirEntrySize)) {
      k -= kDirEntrySize;
      ++pieces;
    }
    LongNameRun run;
    for (std::uint64_t q = k; q < p; q += kDirEntrySize) {
      run.add(ByteSpan(window).subspan(static_cast<std::size_t>(q - start), kDirEntrySize));
      taken_.insert(q);
    }
    const std::string longName = run.nameFor(e);
    FatEntryRecord rec = FatEntryRecord::fromEntry(e);
    rec.deleted = e.deleted() || (!longName.empty() && run.deleted());
    rec.name = longName.empty() ? fatShortName(e) : longName;
    rec.parent = p >= boundary ? 1 : 0;
    rec.self = static_cast<std::int32_t>(records_.size());
    const bool folder = isFatFolderAttribute(e.attribute);
    records_.push_back(std::move(rec));
    if (folder) walker.readFolder(records_.back().self, e.firstCluster(), e.deleted());
  }
  walker.readDeferredFolders();
  taken_.clear();
  return records_;
}

bool FatFamilyParser::writeContent(const FatEntryRecord& r, ByteSink& out) const {
  ClusterContent content{r.firstCluster(), r.size, ClusterOrder::Chain};
  // Drivers free a deleted file's chain, leaving its clusters where they were.
  if (formatted_ || (r.deleted && fat_->entry(r.firstCluster()) == 0)) content.order = ClusterOrder::Consecutive;
  return streamClusters(io_, geo_, *fat_, content, out);
}

bool FatFamilyParser::saveFile(const FatEntryRecord& r, const std::string& path) const {
  OutputFile out;
  if (!out.create(path, false)) return false;
  const bool read = writeContent(r, out);
  const bool closed = out.close();
  setFileTimes(path, fatAccessed(r), fatModified(r));
  return read && closed;
}

std::string FatFamilyParser::sizeText(const FatEntryRecord& r) const { return quarnel::sizeText(r.size); }

}  // namespace quarnel
